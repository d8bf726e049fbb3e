#include "app/StartupArguments.h"

#include <gtest/gtest.h>
#include <QApplication>

namespace quillon {
namespace {

TEST(StartupArguments, NoParametersMeansNoConfigFile) {
    const StartupConfig config = JoinStartupArguments({});
    EXPECT_FALSE(config.Given);
    EXPECT_EQ(config.Path, "");
}

TEST(StartupArguments, UnquotedPathWithABlankArrivesWhole) {
    const StartupConfig config = JoinStartupArguments({"/home/anna/My", "Settings.cfg"});
    EXPECT_TRUE(config.Given);
    EXPECT_EQ(config.Path, "/home/anna/My Settings.cfg");
}

TEST(StartupArguments, TrimsBlanksAndControlCharactersAtBothEnds) {
    EXPECT_EQ(JoinStartupArguments({"\t a.cfg \r\n"}).Path, "a.cfg");
    EXPECT_EQ(JoinStartupArguments({"", "a", "", "b"}).Path, "a  b");
    // Blanks inside a single parameter stay as they are.
    EXPECT_EQ(JoinStartupArguments({"a  b"}).Path, "a  b");
}

TEST(StartupArguments, BlankParametersStillCountAsGiven) {
    const StartupConfig config = JoinStartupArguments({" ", ""});
    EXPECT_TRUE(config.Given);
    EXPECT_EQ(config.Path, "");
}

TEST(StartupArguments, KeepsNonAsciiText) {
    EXPECT_EQ(JoinStartupArguments({"/tmp/Grüße", "ö.cfg"}).Path, "/tmp/Grüße ö.cfg");
}

TEST(StartupArguments, ParametersAreTakenBeforeQtRemovesItsOwnOptions) {
    qputenv("QT_QPA_PLATFORM", QUILLON_GUI_TEST_PLATFORM);
    char program[] = "quillon-utility";
    char folder[] = "/home/anna/look";
    char qtOption[] = "-reverse";
    char file[] = "settings.cfg";
    char* argv[] = {program, folder, qtOption, file, nullptr};
    int argc = 4;
    const std::vector<std::string> given = ParametersAsGiven(argc, argv);
    const QApplication application(argc, argv);
    EXPECT_EQ(argc, 3);  // what the copy is for
    EXPECT_EQ(JoinStartupArguments(given).Path, "/home/anna/look -reverse settings.cfg");
}

}  // namespace
}  // namespace quillon
