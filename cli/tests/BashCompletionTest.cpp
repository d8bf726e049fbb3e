#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "tests/TempDirectory.h"

namespace quillon::cli::test {
namespace {

// What bash's completion function offers for a command line typed up to its end, run by a real
// bash on the installed script, in a folder holding a few files.
class BashCompletionTest : public ::testing::Test {
  protected:
    void SetUp() override {
        folder_ = quillon::test::MakeTempDirectory("quillon-completion-");
        for (const char* name : {"update.hex", "adapter.cfg", "notes.txt"}) {
            std::ofstream(folder_ / name) << "x";
        }
    }
    void TearDown() override { std::filesystem::remove_all(folder_); }

    std::string Offers(const std::string& line) {
        const std::filesystem::path script = folder_ / "run.sh";
        std::ofstream(script) << "cd '" << folder_.string() << "' || exit 1\n"
                              << "source '" << QUILLON_BASH_COMPLETION << "'\n"
                              << "COMP_LINE='" << line << "'; COMP_POINT=${#COMP_LINE}\n"
                              << "_quillon_cli\n"
                              << "printf '%s\\n' \"${COMPREPLY[@]}\" | sort | tr '\\n' ' '\n";
        std::string output;
        if (FILE* pipe = ::popen(("bash '" + script.string() + "'").c_str(), "r")) {
            char buffer[256];
            while (std::fgets(buffer, sizeof buffer, pipe) != nullptr) {
                output += buffer;
            }
            ::pclose(pipe);
        }
        return output;
    }

    std::filesystem::path folder_;
};

TEST_F(BashCompletionTest, OffersCommandsOptionsSettingsAndFilesOfTheRightKind) {
    EXPECT_EQ(Offers("quillon-cli pro"), "provision ");
    EXPECT_EQ(Offers("quillon-cli --device 1 sh"), "show ");
    EXPECT_EQ(Offers("quillon-cli flash "), "update.hex ");
    EXPECT_EQ(Offers("quillon-cli provision --config "), "adapter.cfg ");
    EXPECT_EQ(Offers("quillon-cli monitor --c"), "--count ");
    EXPECT_EQ(Offers("quillon-cli set --"),
              "--device --emulate --help --json --verbose --version --yes ");
    EXPECT_EQ(Offers("quillon-cli set line-d"), "line-delay= ");
    EXPECT_EQ(Offers("quillon-cli provision --set flow="), "RTS/CTS Xon/Xoff ");
    EXPECT_EQ(Offers("quillon-cli raw "), "get set ");
}

}  // namespace
}  // namespace quillon::cli::test
