#include "config/SettingsAssignment.h"

#include <gtest/gtest.h>

namespace quillon {
namespace {

std::optional<SettingsPlan> Plan(const SettingsControlValues& shown,
                                 const std::vector<std::string>& words, std::string& error) {
    const auto assignments = ParseAssignments(words, error);
    if (!assignments) {
        return std::nullopt;
    }
    auto plan = PlanSettings(shown, *assignments);
    if (!plan) {
        error = plan.Error().Message;
        return std::nullopt;
    }
    return *plan;
}

TEST(SettingsAssignmentTest, ValuesInTheirAllowedFormsAreTaken) {
    std::string error;
    const auto plan = Plan({},
                           {"baud=115200", "char-delay=2000", "line-delay=0", "flow=xon/xoff",
                            "enter=lf", "alt-key=on", "PAVEX=off"},
                           error);
    ASSERT_TRUE(plan) << error;
    EXPECT_EQ(plan->Values.BaudText, "115200");
    EXPECT_EQ(plan->Values.CharDelayMs, 2000);
    EXPECT_EQ(plan->Values.FlowCtrlIndex, 1);
    EXPECT_EQ(plan->Values.EnterCtrlIndex, 2);
    EXPECT_TRUE(plan->Values.UseAltKey);
    EXPECT_FALSE(plan->NeedsClearDataConfirmation);
}

TEST(SettingsAssignmentTest, BadValuesAreRefusedNamingTheKeyAndTheAllowedValues) {
    struct Case {
        const char* word;
        const char* expected;
    };
    for (const Case& c : {
             Case{"baud=300",
                  "bad value \"300\" for baud (allowed: 1200, 2400, 4800, 9600, "
                  "19200, 38400, 57600, 115200)"},
             Case{"char-delay=15", "for char-delay (allowed: 0 to 2000 in steps of 10)"},
             Case{"line-delay=2010", "for line-delay (allowed: 0 to 2000 in steps of 10)"},
             Case{"line-delay=-10", "for line-delay"},
             Case{"flow=none", "for flow (allowed: RTS/CTS, Xon/Xoff)"},
             Case{"enter=CRLF", "for enter (allowed: OFF, CR, LF)"},
             Case{"pavex=maybe", "for pavex (allowed: on, off)"},
             Case{"speed=9600", "unknown setting \"speed\" (settings: baud, char-delay"},
             Case{"baud", "expected KEY=VALUE"},
         }) {
        std::string error;
        EXPECT_FALSE(ParseAssignments({"alt-key=on", c.word}, error)) << c.word;
        EXPECT_NE(error.find(c.expected), std::string::npos) << error;
    }
    std::string error;
    EXPECT_FALSE(ParseAssignments({}, error));
}

TEST(SettingsAssignmentTest, PavexModeRulesAreThoseOfTheSettingsPage) {
    SettingsControlValues shown;
    shown.BaudText = "9600";
    std::string error;

    // Switching Pavex mode on fixes the baud rate, and lets the clear options be set.
    auto plan = Plan(shown, {"clear-stx=on", "pavex=on"}, error);
    ASSERT_TRUE(plan) << error;
    EXPECT_EQ(plan->Values.BaudText, "19200");
    EXPECT_TRUE(plan->Values.ClrStx);

    EXPECT_FALSE(Plan(shown, {"pavex=on", "baud=9600"}, error));
    EXPECT_NE(error.find("baud is fixed at 19200"), std::string::npos);
    EXPECT_FALSE(Plan(shown, {"pavex=on", "flow=RTS/CTS"}, error));
    EXPECT_NE(error.find("flow"), std::string::npos);
    EXPECT_FALSE(Plan(shown, {"clear-etx=on"}, error));
    EXPECT_NE(error.find("clear-etx"), std::string::npos);

    // Switching it off clears the three options.
    SettingsControlValues pavex;
    pavex.Pavex = true;
    pavex.ClrStx = pavex.ClrEtx = pavex.ClrMem = true;
    plan = Plan(pavex, {"pavex=off"}, error);
    ASSERT_TRUE(plan) << error;
    EXPECT_FALSE(plan->Values.ClrStx || plan->Values.ClrEtx || plan->Values.ClrMem);
}

TEST(SettingsAssignmentTest, OnlySwitchingClearDataOnAsksForConfirmation) {
    SettingsControlValues pavex;
    pavex.Pavex = true;
    std::string error;
    EXPECT_TRUE(Plan(pavex, {"clear-data=on"}, error)->NeedsClearDataConfirmation);
    EXPECT_TRUE(Plan({}, {"pavex=on", "clear-data=1"}, error)->NeedsClearDataConfirmation);
    pavex.ClrMem = true;
    EXPECT_FALSE(Plan(pavex, {"clear-data=on"}, error)->NeedsClearDataConfirmation);
    EXPECT_FALSE(Plan(pavex, {"clear-data=off"}, error)->NeedsClearDataConfirmation);
}

}  // namespace
}  // namespace quillon
