// quillon-cli.exe, quillon-utility.exe and quillon-station.exe under Wine against adapters
// served as hidraw nodes through FUSE: the Windows backend goes through Wine's own HID stack
// (hid.dll, SetupAPI, its HID bus driver reading the node), as far as Linux can show it.
//
//   quillon_wine_e2e_test QUILLON-CLI.EXE WINE-PREFIX [WINDOW-PROGRAM.EXE]
//
// The window programs' tests need an X server (DISPLAY); ctest runs each under xvfb-run, with
// --gtest_filter choosing the one for the program given, and the command-line tool's test
// without.
//
// Exits with 77 when it was skipped (no Wine, no FUSE), which ctest takes as a skip.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>

#include "cli/ExitCodes.h"
#include "cli/tests/WineSession.h"
#include "config/DeviceSettings.h"
#include "firmware/UpdateProtocol.h"
#include "hid/emulated/QuillonAdapter.h"
#include "hid/linux/tests/HidrawTestBed.h"
#include "tests/HexFiles.h"

namespace quillon::cli::test {
namespace {

using namespace std::chrono_literals;
using quillon::test::HidrawTestBed;

std::string g_cliPath;
std::string g_prefix;
std::string g_windowProgramPath;

bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

size_t CountOf(const std::string& text, const std::string& part) {
    size_t count = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
        ++count;
    }
    return count;
}

// Asks again and again (each asking takes a while: a Wine start) until it holds or time is up.
bool Eventually(const std::function<bool()>& holds, std::chrono::seconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!holds()) {
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
    }
    return true;
}

// Prints how long each step took, for reading only.
class StepClock {
  public:
    void Lap(const char* step) {
        const auto now = std::chrono::steady_clock::now();
        std::printf("[ timing ] %-28s %6.2f s\n", step,
                    std::chrono::duration<double>(now - last_).count());
        std::fflush(stdout);
        last_ = now;
    }

  private:
    std::chrono::steady_clock::time_point last_ = std::chrono::steady_clock::now();
};

// Skips when Wine or FUSE is missing here, fails instead in CI, where both must be.
#define QUILLON_REQUIRE(reason)                               \
    do {                                                      \
        if (const std::string why = (reason); !why.empty()) { \
            if (::quillon::test::RunningInCi()) {             \
                FAIL() << "unavailable in CI: " << why;       \
            }                                                 \
            GTEST_SKIP() << why;                              \
        }                                                     \
    } while (false)

// One adapter served as hidraw0, and a Wine session whose HID stack sees it.
class ServedAdapterTest : public ::testing::Test {
  protected:
    void SetUp() override {
        QUILLON_REQUIRE(WineSession::Missing());
        QUILLON_REQUIRE(bed.Unavailable());
        QUILLON_REQUIRE(ShowBedAsSystemDevices(bed));
        bed.Plug({}, adapter);
        AddDevEntry(bed, "hidraw0");
        ASSERT_EQ(wine.Start(), "");
        clock.Lap("Wine session");
    }

    // Ended in the reverse order: the Wine session first, the served nodes last.
    HidrawTestBed bed;
    StepClock clock;
    std::shared_ptr<emu::QuillonAdapter> adapter = std::make_shared<emu::QuillonAdapter>();
    WineSession wine{g_prefix};
};

using WineEndToEndTest = ServedAdapterTest;

TEST_F(WineEndToEndTest, ListSettingsFlashUnplugAndReplugThroughWinesHidStack) {
    // The bus driver may list the device a moment after its start.
    ProgramResult list;
    const auto listed = [&](size_t adapters) {
        return Eventually(
            [&] {
                list = wine.Run({g_cliPath, "list", "--json"});
                return CountOf(list.Out, "\"vendorId\": \"169b\"") == adapters;
            },
            20s);
    };
    ASSERT_TRUE(listed(1)) << list.Out << list.Err;
    EXPECT_TRUE(Contains(list.Out, "\"productId\": \"0110\"")) << list.Out;
    EXPECT_TRUE(Contains(list.Out, "\"version\": \"0100\"")) << list.Out;
    EXPECT_TRUE(Contains(list.Out, "\"writable\": true")) << list.Out;
    clock.Lap("list");

    ProgramResult result = wine.Run({g_cliPath, "show"});
    EXPECT_EQ(result.Code, ExitSuccess) << result.Err;
    EXPECT_TRUE(Contains(result.Out, "Baud: 19200")) << result.Out;
    result = wine.Run({g_cliPath, "set", "baud=57600", "flow=Xon/Xoff", "line-delay=1990"});
    EXPECT_EQ(result.Code, ExitSuccess) << result.Err;
    EXPECT_EQ(adapter->Settings()[3], 48);
    EXPECT_EQ(adapter->Settings()[10], 1);
    EXPECT_EQ(adapter->Settings()[5], 199);
    clock.Lap("show and set");

    const firmware::FirmwareImage image = quillon::testing::PatternImage();
    quillon::testing::TempDir folder;
    const std::string update = folder.Write("update.hex", quillon::testing::HexFileFor(image));
    adapter->ClearLog();
    // Slow transfers until another program has been turned away while the update holds the
    // adapter: exclusive use between programs, through Wine's named objects.
    adapter->SetTransferDelay(100ms);
    ChildProcess flashing;
    ASSERT_TRUE(wine.Spawn(flashing, {g_cliPath, "flash", update}));
    EXPECT_TRUE(flashing.WaitUntil([&] { return adapter->TransferCount() > 0; }, 30s));
    result = wine.Run({g_cliPath, "set", "baud=9600"});
    EXPECT_EQ(result.Code, ExitAdapterBusy) << result.Err;
    EXPECT_TRUE(Contains(result.Err, "the adapter is in use by another program")) << result.Err;
    adapter->SetTransferDelay(0ms);
    EXPECT_EQ(flashing.Wait(60s), ExitSuccess) << flashing.Out() << flashing.Err();
    EXPECT_EQ(adapter->Settings()[3], 48);  // the refused setting never arrived
    EXPECT_EQ(adapter->TransferCount(), static_cast<size_t>(firmware::kTransfersPerUpdate));
    const std::vector<uint8_t> flash = adapter->Flash();
    EXPECT_TRUE(std::equal(image.begin(), image.end(), flash.begin() + firmware::kImageBase));
    clock.Lap("flash, another refused");

    // The monitor shows input reports until the adapter goes, then says so and fails.
    ChildProcess monitor;
    ASSERT_TRUE(wine.Spawn(monitor, {g_cliPath, "monitor"})) << monitor.Err();
    const auto reported = [&] { return Contains(monitor.Out(), " R 01  01 02 03"); };
    Eventually(
        [&] {
            adapter->SendInputReport({emu::QuillonAdapter::kInputReportId, 1, 2, 3, 4, 5, 6, 7, 8});
            return monitor.WaitUntil(reported, 200ms) || !monitor.Running();
        },
        20s);
    EXPECT_TRUE(reported()) << monitor.Out() << monitor.Err();
    RemoveDevEntry("hidraw0");
    bed.Unplug("hidraw0");
    EXPECT_EQ(monitor.Wait(20s), ExitNoAdapter) << monitor.Out() << monitor.Err();
    EXPECT_TRUE(Contains(monitor.Err(), " was removed")) << monitor.Err();
    clock.Lap("monitor until unplug");

    // Plugged in again: a new HID device in sysfs, the same node name.
    auto replugged = std::make_shared<emu::QuillonAdapter>();
    bed.Plug({}, replugged);
    AddDevEntry(bed, "hidraw0");
    ASSERT_TRUE(listed(1)) << list.Out << list.Err;
    clock.Lap("list after replug");

    // Provisioning takes the adapter present, then one plugged in while it waits: that one
    // is found only through the device notices the backend registers for.
    ChildProcess provision;
    ASSERT_TRUE(wine.Spawn(provision, {g_cliPath, "provision", "--set", "baud=9600",
                                       "--all-present", "--count", "2", "--json"}));
    EXPECT_TRUE(provision.WaitUntil([&] { return Contains(provision.Out(), "PASS"); }, 30s))
        << provision.Out() << provision.Err();
    auto newcomer = std::make_shared<emu::QuillonAdapter>();
    bed.Plug(HidrawTestBed::Device{}.At("hidraw1"), newcomer);
    AddDevEntry(bed, "hidraw1");
    EXPECT_EQ(provision.Wait(30s), ExitSuccess) << "the adapter plugged in was not noticed\n"
                                                << provision.Out() << provision.Err();
    EXPECT_EQ(CountOf(provision.Out(), "PASS"), 2u) << provision.Out();
    EXPECT_EQ(newcomer->Settings(), replugged->Settings());
    clock.Lap("provision with a plug-in");
}

// The settings records the window program has read from this adapter.
size_t SettingsReads(const emu::QuillonAdapter& adapter) {
    const std::vector<emu::AdapterTransfer> log = adapter.Log();
    return static_cast<size_t>(std::count_if(log.begin(), log.end(), [](const auto& transfer) {
        return transfer.Dir == emu::AdapterTransfer::Direction::Get && transfer.Ok &&
               !transfer.Bytes.empty() && transfer.Bytes[0] == SettingsReportId;
    }));
}

class WineWindowEndToEndTest : public ServedAdapterTest {
  protected:
    void SetUp() override {
        if (g_windowProgramPath.empty()) {
            GTEST_SKIP() << "no window program given";
        }
        QUILLON_REQUIRE(std::getenv("DISPLAY") == nullptr ? "no X server (DISPLAY)" : "");
        ServedAdapterTest::SetUp();
    }
};

TEST_F(WineWindowEndToEndTest, ListsShowsSurvivesUnplugAndReplugAndClosesCleanly) {
    // The window program's diagnostics (Qt's logging) reach no stream under Wine, so what it
    // does is seen at the served adapter: the settings records it reads.
    ::setenv("QT_QPA_PLATFORM", "windows", 1);
    ChildProcess window;
    ASSERT_TRUE(wine.Spawn(window, {g_windowProgramPath})) << window.Err();

    // The adapter listed with read and write access is read at once: its record reaching the
    // page is the first settings read.
    const auto readBy = [&](const emu::QuillonAdapter& which) {
        return window.WaitUntil([&] { return SettingsReads(which) > 0 || !window.Running(); },
                                90s) &&
               SettingsReads(which) > 0;
    };
    ASSERT_TRUE(readBy(*adapter)) << window.Out() << window.Err();
    clock.Lap("listed and read");

    // Unplugged: gone from Wine's HID stack, as the command-line tool sees it, and the window
    // program still running; the adapter plugged in again is listed and read as a new one.
    RemoveDevEntry("hidraw0");
    bed.Unplug("hidraw0");
    ProgramResult list;
    EXPECT_TRUE(Eventually(
        [&] {
            list = wine.Run({g_cliPath, "list", "--json"});
            return !Contains(list.Out, "\"vendorId\": \"169b\"");
        },
        30s))
        << list.Out;
    ASSERT_TRUE(window.Running()) << "ended after the unplug\n" << window.Err();
    clock.Lap("unplug");

    auto replugged = std::make_shared<emu::QuillonAdapter>();
    bed.Plug({}, replugged);
    AddDevEntry(bed, "hidraw0");
    ASSERT_TRUE(readBy(*replugged)) << window.Err();
    clock.Lap("replugged and read");

    // Asked to close as Windows asks a program (WM_CLOSE), it ends on its own with success.
    wine.Run({"taskkill", "/im", "quillon-utility.exe"}, 60s);
    EXPECT_EQ(window.Wait(60s), 0) << window.Err();
    clock.Lap("closed");
}

// The lines of a file, each ended by CR LF; empty when there is no file yet.
std::vector<std::string> FileLines(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(file)), {});
    std::vector<std::string> lines;
    for (size_t start = 0, end; (end = text.find("\r\n", start)) != std::string::npos;
         start = end + 2) {
        lines.push_back(text.substr(start, end - start));
    }
    return lines;
}

// quillon-station.exe, given as the window program: started from its command line with the
// plan and a log, it provisions the adapters Wine's HID stack shows it.
using WineStationEndToEndTest = WineWindowEndToEndTest;

TEST_F(WineStationEndToEndTest, TwoAdaptersPassAndOnePulledDuringItsUpdateFails) {
    auto second = std::make_shared<emu::QuillonAdapter>();
    bed.Plug(HidrawTestBed::Device{}.At("hidraw1"), second);
    AddDevEntry(bed, "hidraw1");
    // Slow enough to be pulled in the middle of its update.
    auto pulled = std::make_shared<emu::QuillonAdapter>();
    pulled->SetTransferDelay(20ms);
    bed.Plug(HidrawTestBed::Device{}.At("hidraw2"), pulled);
    AddDevEntry(bed, "hidraw2");

    const firmware::FirmwareImage image = quillon::testing::PatternImage();
    quillon::testing::TempDir folder;
    const std::string update = folder.Write("update.hex", quillon::testing::HexFileFor(image));
    const std::string log = folder.PathOf("station.csv");
    ::setenv("QT_QPA_PLATFORM", "windows", 1);
    ChildProcess station;
    ASSERT_TRUE(wine.Spawn(station, {g_windowProgramPath, "--firmware", update, "--all-present",
                                     "--log", log, "--start"}))
        << station.Err();
    ASSERT_TRUE(
        station.WaitUntil([&] { return pulled->TransferCount() > 60 || !station.Running(); }, 120s))
        << station.Err();
    RemoveDevEntry("hidraw2");
    bed.Unplug("hidraw2");
    clock.Lap("one pulled during its update");

    // The header and one line per adapter, as quillon-cli provision --log writes them.
    std::vector<std::string> lines;
    EXPECT_TRUE(station.WaitUntil(
        [&] {
            lines = FileLines(log);
            return lines.size() >= 4 || !station.Running();
        },
        120s));
    ASSERT_EQ(lines.size(), 4u) << station.Err();
    size_t passed = 0;
    size_t failed = 0;
    for (size_t i = 1; i < lines.size(); ++i) {
        passed += Contains(lines[i], ",ok,,,PASS,,");
        if (Contains(lines[i], ",failed,,,FAIL,update: ")) {
            ++failed;
        }
    }
    EXPECT_EQ(passed, 2u) << lines[1] << "\n" << lines[2] << "\n" << lines[3];
    EXPECT_EQ(failed, 1u) << lines[1] << "\n" << lines[2] << "\n" << lines[3];
    for (const auto& provisioned : {adapter, second}) {
        const std::vector<uint8_t> flash = provisioned->Flash();
        EXPECT_TRUE(std::equal(image.begin(), image.end(), flash.begin() + firmware::kImageBase));
    }
    clock.Lap("two passed, one failed");

    // Asked to close while it waits for more, it stops and ends with success.
    wine.Run({"taskkill", "/im", "quillon-station.exe"}, 60s);
    EXPECT_EQ(station.Wait(60s), 0) << station.Err();
    clock.Lap("closed");
}

}  // namespace
}  // namespace quillon::cli::test

int main(int argc, char** argv) {
    // Before any thread exists: the mounts stay private to this process and its children.
    quillon::test::EnterPrivateMountNamespace();
    testing::InitGoogleTest(&argc, argv);
    if (argc != 3 && argc != 4) {
        std::fprintf(stderr, "usage: %s QUILLON-CLI.EXE WINE-PREFIX [WINDOW-PROGRAM.EXE]\n",
                     argv[0]);
        return 2;
    }
    quillon::cli::test::g_cliPath = argv[1];
    quillon::cli::test::g_prefix = std::filesystem::absolute(argv[2]).string();
    if (argc == 4) {
        quillon::cli::test::g_windowProgramPath = argv[3];
    }
    const int failed = RUN_ALL_TESTS();
    if (failed == 0 && testing::UnitTest::GetInstance()->skipped_test_count() > 0) {
        return 77;
    }
    return failed;
}
