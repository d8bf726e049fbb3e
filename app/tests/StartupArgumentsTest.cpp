#include "app/StartupArguments.h"

#include <gtest/gtest.h>

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

}  // namespace
}  // namespace quillon
