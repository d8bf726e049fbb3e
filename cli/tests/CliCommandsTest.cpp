#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/stat.h>
#endif

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QString>
#include <filesystem>
#include <iterator>
#include <regex>
#include <thread>

#include "cli/CliRunner.h"
#include "cli/ExitCodes.h"
#include "cli/tests/CliTestSupport.h"
#include "config/SettingsAssignment.h"
#include "tests/ConfigFileCases.h"
#include "tests/HexFiles.h"

namespace quillon::cli::test {
namespace {

using Transfer = emu::AdapterTransfer;
using Settings = std::array<uint8_t, emu::QuillonAdapter::kFeatureReportLength>;

bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

QJsonDocument Json(const std::string& text) {
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(QByteArray::fromStdString(text), &error);
    EXPECT_EQ(error.error, QJsonParseError::NoError) << text;
    return document;
}

size_t SetTransfers(const emu::QuillonAdapter& adapter) {
    size_t count = 0;
    for (const Transfer& transfer : adapter.Log()) {
        count += transfer.Dir == Transfer::Direction::Set ? 1 : 0;
    }
    return count;
}

class CliCommandsTest : public ::testing::Test {
  protected:
    CliHarness cli;
    quillon::testing::TempDir folder;
};

TEST_F(CliCommandsTest, HelpListsTheCommandsAndEveryExitCode) {
    const CliResult result = cli.Run({"--help"});
    EXPECT_EQ(result.Code, ExitSuccess);
    for (const char* part :
         {"list [--all]", "set KEY=VALUE", "flash FILE [--all]", "raw get ID [--length N]",
          "monitor [--count N]", "--emulate", "Exit codes:", "0  success", "2  usage error",
          "3  no adapter", "4  no permission", "5  transfer failure", "6  file refused"}) {
        EXPECT_TRUE(Contains(result.Out, part)) << part;
    }
    // A command's own help: its synopsis, its options and an example, nothing of the others.
    const CliResult flash = cli.Run({"flash", "--help"});
    EXPECT_EQ(flash.Code, ExitSuccess);
    for (const char* part : {"Usage: quillon-cli flash FILE [--all]", "--all", "--device", "--json",
                             "Example:\n  quillon-cli flash", "Exit codes:"}) {
        EXPECT_TRUE(Contains(flash.Out, part)) << part;
    }
    EXPECT_FALSE(Contains(flash.Out, "--length"));
}

// Counts the watches of device changes started on the platform it stands for.
class WatchCountingPlatform : public IHidPlatform {
  public:
    WatchCountingPlatform(std::unique_ptr<IHidPlatform> inner, int& watches)
        : inner_(std::move(inner)), watches_(watches) {}
    std::vector<THidPnPInfo> PresentInterfaces() override { return inner_->PresentInterfaces(); }
    HidResult<std::unique_ptr<IHidHandle>> Open(const std::string& path,
                                                HidAccess access) override {
        return inner_->Open(path, access);
    }
    HidResult<std::unique_ptr<IHidHandle>> OpenDevice(const THidPnPInfo& device,
                                                      HidAccess access) override {
        return inner_->OpenDevice(device, access);
    }
    HidFailure GoneFailure(const std::string& path) override { return inner_->GoneFailure(path); }
    std::unique_ptr<Watch> WatchDeviceChanges(IEventLoop& loop,
                                              std::function<void()> onChange) override {
        ++watches_;
        return inner_->WatchDeviceChanges(loop, std::move(onChange));
    }

  private:
    std::unique_ptr<IHidPlatform> inner_;
    int& watches_;
};

TEST_F(CliCommandsTest, OnlyTheMonitorWatchesDeviceChangesAndEveryMessageIsPrefixed) {
    int watches = 0;
    const auto create = cli.Env.CreatePlatform;
    cli.Env.CreatePlatform = [&](int adapters) -> std::unique_ptr<IHidPlatform> {
        return std::make_unique<WatchCountingPlatform>(create(adapters), watches);
    };
    CliResult result = cli.Run({"list", "--emulate=0"});
    EXPECT_EQ(result.Err, "quillon-cli: no adapter found\n");
    cli.AddAdapter();
    for (const std::vector<std::string>& command : std::vector<std::vector<std::string>>{
             {"list"}, {"show"}, {"set", "baud=9600"}, {"raw", "get", "03"}, {"reset"}}) {
        std::vector<std::string> arguments = command;
        arguments.push_back("--emulate");
        result = cli.Run(arguments);
        EXPECT_EQ(result.Code, ExitSuccess) << command[0] << ": " << result.Err;
    }
    EXPECT_EQ(watches, 0);
    result = cli.Run({"monitor", "--duration", "0.01", "--emulate"});
    EXPECT_EQ(result.Code, ExitSuccess) << result.Err;
    EXPECT_EQ(watches, 1);

    result = cli.Run({"--help"});
    ASSERT_FALSE(result.Out.empty());
    EXPECT_EQ(result.Out.back(), '\n');
    EXPECT_TRUE(Contains(result.Out, "7  the adapter is in use by another program"));
}

TEST_F(CliCommandsTest, UsageErrorsTouchNoAdapter) {
    auto adapter = cli.AddAdapter();
    for (const std::vector<std::string>& arguments :
         std::vector<std::vector<std::string>>{{"--emulate"},
                                               {"frobnicate", "--emulate"},
                                               {"show", "--emulate", "--frob"},
                                               {"list", "--emulate", "--length=4"},
                                               {"set", "baud=9600", "--emulate", "--json"},
                                               {"show", "--emulate=99"},
                                               {"show", "extra", "--emulate"},
                                               {"raw", "get", "zz", "--emulate"},
                                               {"raw", "put", "03", "--emulate"},
                                               {"raw", "get", "03", "--length=66", "--emulate"},
                                               {"monitor", "--count=0", "--emulate"},
                                               {"monitor", "--duration=-1", "--emulate"}}) {
        const CliResult result = cli.Run(arguments);
        EXPECT_EQ(result.Code, ExitUsage) << arguments[0] << " " << result.Err;
        EXPECT_TRUE(Contains(result.Err, "quillon-cli: ")) << result.Err;
    }
    EXPECT_EQ(adapter->TransferCount(), 0u);
}

TEST_F(CliCommandsTest, ListShowsEachAdapterWithItsAccessAndAdvisesOnTheMissingRule) {
    cli.AddAdapter();
    cli.AddAdapter(emu::PlugOptions{.ReadWriteAllowed = false})->SetVersionNumber(0x0203);
    cli.AddOtherDevice();

    CliResult result = cli.Run({"list", "--emulate=2"});
    EXPECT_EQ(result.Code, ExitSuccess);
    EXPECT_EQ(result.Out,
              "0  emu:1  169b:0110  version 0100  \"Morvane\"  \"Quillon\"  writable\n"
              "1  emu:2  169b:0110  version 0203  \"Morvane\"  \"Quillon\"  not writable: "
              "Permission denied\n");
    EXPECT_TRUE(Contains(result.Err, "Read/write access to emu:2 was refused"));
#ifdef _WIN32
    EXPECT_TRUE(Contains(result.Err, "another program"));
#else
    EXPECT_TRUE(Contains(result.Err, "/usr/lib/udev/rules.d/70-quillon-adapter.rules"));
    EXPECT_TRUE(Contains(result.Err, "sudo udevadm control --reload"));
#endif

    result = cli.Run({"list", "--all", "--emulate=2", "--json"});
    EXPECT_EQ(result.Code, ExitSuccess);
    const QJsonArray devices = Json(result.Out).array();
    ASSERT_EQ(devices.size(), 3);
    EXPECT_EQ(devices[0]["index"].toInt(), 0);
    EXPECT_EQ(devices[0]["path"].toString(), "emu:1");
    EXPECT_EQ(devices[0]["vendorId"].toString(), "169b");
    EXPECT_EQ(devices[0]["productId"].toString(), "0110");
    EXPECT_EQ(devices[0]["product"].toString(), "Quillon");
    EXPECT_TRUE(devices[0]["writable"].toBool());
    EXPECT_TRUE(devices[0]["reason"].isNull());
    EXPECT_EQ(devices[1]["version"].toString(), "0203");
    EXPECT_FALSE(devices[1]["writable"].toBool());
    EXPECT_EQ(devices[1]["reason"].toString(), "Permission denied");
    EXPECT_TRUE(devices[2]["index"].isNull());
    EXPECT_EQ(devices[2]["vendorId"].toString(), "1234");

    result = cli.Run({"list", "--emulate=0", "--json"});
    EXPECT_EQ(result.Code, ExitSuccess);
    EXPECT_TRUE(Json(result.Out).array().isEmpty());
}

TEST_F(CliCommandsTest, ShowDecodesTheSelectedAdaptersRecord) {
    cli.AddAdapter();
    auto second = cli.AddAdapter();
    Settings record = second->Settings();
    record[3] = 96;  // 115200
    record[4] = 25;  // 250 ms
    record[10] = 1;  // Xon/Xoff
    record[11] = 2;  // LF
    record[2] = 1;
    second->SetSettings(record);

    CliResult result = cli.Run({"show", "--emulate=2", "--device=1"});
    EXPECT_EQ(result.Code, ExitSuccess) << result.Err;
    for (const char* line :
         {"Version: 001\n", "Baud: 115200\n", "Char delay: 250 msec\n", "Flow-Ctrl: Xon/Xoff\n",
          "Enter ctrl: LF\n", "Use Alt-Key: on\n", "Clear data after transmited: off\n"}) {
        EXPECT_TRUE(Contains(result.Out, line)) << line << result.Out;
    }

    result = cli.Run({"show", "--emulate=2", "--device", "emu:2", "--json"});
    EXPECT_EQ(result.Code, ExitSuccess);
    const QJsonObject shown = Json(result.Out).object();
    EXPECT_EQ(shown["baud"].toInt(), 115200);
    EXPECT_EQ(shown["char-delay"].toInt(), 250);
    EXPECT_EQ(shown["flow"].toString(), "Xon/Xoff");
    EXPECT_EQ(shown["enter"].toString(), "LF");
    EXPECT_TRUE(shown["alt-key"].toBool());
    EXPECT_EQ(shown["version"].toInt(), 1);
    // A read changes nothing at the adapter.
    EXPECT_EQ(SetTransfers(*second), 0u);
}

TEST_F(CliCommandsTest, AdapterThatIsMissingOrMayNotBeWrittenGivesItsOwnExitCode) {
    cli.AddAdapter(emu::PlugOptions{.ReadWriteAllowed = false});
    CliResult result = cli.Run({"show", "--emulate=0"});
    EXPECT_EQ(result.Code, ExitNoAdapter);
    EXPECT_TRUE(Contains(result.Err, "no adapter found"));

    result = cli.Run({"show", "--emulate", "--device=3"});
    EXPECT_EQ(result.Code, ExitNoAdapter);
    EXPECT_TRUE(Contains(result.Err, "no adapter \"3\""));

    for (const char* command : {"show", "reset", "monitor"}) {
        result = cli.Run({command, "--emulate"});
        EXPECT_EQ(result.Code, ExitNoPermission) << command;
        EXPECT_TRUE(Contains(result.Err, "Read/write access to emu:1 was refused")) << result.Err;
    }
}

TEST_F(CliCommandsTest, SetWritesTheNamedSettingsAndReadsThemBack) {
    auto adapter = cli.AddAdapter();
    Settings record = adapter->Settings();
    record[20] = 0x5A;  // the adapter's own byte, carried through
    adapter->SetSettings(record);

    const CliResult result =
        cli.Run({"set", "baud=9600", "char-delay=100", "enter=LF", "alt-key=on", "--emulate"});
    EXPECT_EQ(result.Code, ExitSuccess) << result.Err;
    EXPECT_EQ(result.Out, "Device-Settings updated\n");
    const Settings written = adapter->Settings();
    EXPECT_EQ(written[3], 8);
    EXPECT_EQ(written[4], 10);
    EXPECT_EQ(written[11], 2);
    EXPECT_EQ(written[2], 1);
    EXPECT_EQ(written[1], record[1]);
    EXPECT_EQ(written[12], 1);
    EXPECT_EQ(written[20], 0x5A);
    // Read, write, read back.
    const auto log = adapter->Log();
    ASSERT_EQ(log.size(), 3u);
    EXPECT_EQ(log[0].Dir, Transfer::Direction::Get);
    EXPECT_EQ(log[1].Dir, Transfer::Direction::Set);
    EXPECT_EQ(log[1].Length, 65u);
    EXPECT_EQ(log[1].Bytes[0], 3);
    EXPECT_EQ(log[2].Dir, Transfer::Direction::Get);
}

TEST_F(CliCommandsTest, SetRefusesABadValueBeforeAnythingIsWritten) {
    auto adapter = cli.AddAdapter();
    CliResult result = cli.Run({"set", "baud=9600", "line-delay=15", "--emulate"});
    EXPECT_EQ(result.Code, ExitUsage);
    EXPECT_TRUE(Contains(result.Err, "line-delay (allowed: 0 to 2000 in steps of 10)"));
    EXPECT_EQ(adapter->TransferCount(), 0u);

    // Refused against the adapter's record: it was read, nothing was written.
    result = cli.Run({"set", "clear-stx=on", "--emulate"});
    EXPECT_EQ(result.Code, ExitUsage);
    EXPECT_EQ(SetTransfers(*adapter), 0u);
}

TEST_F(CliCommandsTest, ClearDataIsWrittenOnlyOnceConfirmed) {
    auto adapter = cli.AddAdapter();
    // Not on a terminal, no --yes: refused.
    CliResult result = cli.Run({"set", "pavex=on", "clear-data=on", "--emulate"});
    EXPECT_EQ(result.Code, ExitUsage);
    EXPECT_TRUE(Contains(result.Err, "--yes"));
    EXPECT_EQ(SetTransfers(*adapter), 0u);

    // On a terminal, answered no, then yes.
    cli.Env.InIsTerminal = true;
    cli.Input.str("n\n");
    result = cli.Run({"set", "pavex=on", "clear-data=on", "--emulate"});
    EXPECT_EQ(result.Code, ExitCancelled);
    EXPECT_TRUE(Contains(result.Err, std::string(kClearDataConfirmation)));
    EXPECT_EQ(SetTransfers(*adapter), 0u);

    cli.Input.clear();
    cli.Input.str("j\n");
    result = cli.Run({"set", "pavex=on", "clear-data=on", "--emulate"});
    EXPECT_EQ(result.Code, ExitSuccess) << result.Err;
    EXPECT_EQ(adapter->Settings()[9], 1);
    EXPECT_EQ(adapter->Settings()[6], 1);

    // Already on: nothing to confirm. Off again with --yes given needs none either.
    cli.Env.InIsTerminal = false;
    result = cli.Run({"set", "clear-data=on", "--emulate"});
    EXPECT_EQ(result.Code, ExitSuccess) << result.Err;
    adapter->SetSettings(emu::QuillonAdapter().Settings());
    result = cli.Run({"set", "pavex=on", "clear-data=on", "--yes", "--emulate"});
    EXPECT_EQ(result.Code, ExitSuccess) << result.Err;
    EXPECT_EQ(adapter->Settings()[9], 1);
}

TEST_F(CliCommandsTest, FailingTransfersGiveTheTransferExitCode) {
    auto adapter = cli.AddAdapter();
    adapter->FailTransfer(1);  // the write
    CliResult result = cli.Run({"set", "baud=9600", "--emulate"});
    EXPECT_EQ(result.Code, ExitTransferFailed);
    EXPECT_TRUE(Contains(result.Err, "unable to write the settings")) << result.Err;

    adapter->ClearFaults();
    adapter->ClearLog();
    adapter->FailTransfer(0);
    result = cli.Run({"show", "--emulate"});
    EXPECT_EQ(result.Code, ExitTransferFailed);
    EXPECT_TRUE(Contains(result.Err, "unable to read the settings")) << result.Err;
}

TEST_F(CliCommandsTest, SaveWritesTheRecordAsTheWindowCollectsIt) {
    auto adapter = cli.AddAdapter();
    Settings record = adapter->Settings();
    record[3] = 4;  // 4800
    record[7] = 1;  // clear STX, which Pavex mode off does not let stand
    record[12] = 0;
    record[30] = 0x77;
    adapter->SetSettings(record);
    const std::string path = folder.PathOf("saved.cfg");

    CliResult result = cli.Run({"save", path, "--emulate"});
    EXPECT_EQ(result.Code, ExitSuccess) << result.Err;
    std::ifstream file(path, std::ios::binary);
    const std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(file), {}};
    ASSERT_EQ(bytes.size(), 64u);
    EXPECT_EQ(bytes[0], 3);
    EXPECT_EQ(bytes[3], 4);
    EXPECT_EQ(bytes[7], 0);
    EXPECT_EQ(bytes[12], 1);
    EXPECT_EQ(bytes[30], 0x77);
    EXPECT_EQ(SetTransfers(*adapter), 0u);

    result = cli.Run({"save", folder.PathOf("no/such/folder.cfg"), "--emulate"});
    EXPECT_EQ(result.Code, ExitFileRefused);
    EXPECT_TRUE(
        Contains(result.Err, "unable to create file: " + folder.PathOf("no/such/folder.cfg")));
}

#ifndef _WIN32
// Links, named pipes and device nodes as POSIX systems have them.
TEST_F(CliCommandsTest, SaveWritesThroughLinksAndLeavesWhatIsNoPlainFileAlone) {
    cli.AddAdapter();
    namespace fs = std::filesystem;
    // A user's link into another folder: the file it names is replaced, the link stays.
    fs::create_directory(folder.PathOf("dotfiles"));
    const std::string real = folder.Write("dotfiles/real.cfg", std::string(500, 'x'));
    const std::string linked = folder.PathOf("linked.cfg");
    fs::create_symlink("dotfiles/real.cfg", linked);
    CliResult result = cli.Run({"save", linked, "--emulate"});
    EXPECT_EQ(result.Code, ExitSuccess) << result.Err;
    EXPECT_TRUE(fs::is_symlink(linked));
    EXPECT_EQ(fs::file_size(real), 64u);

    // A named pipe, and a link to a device, are refused and stay what they were.
    const std::string pipe = folder.PathOf("pipe.cfg");
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    const std::string device = folder.PathOf("device.cfg");
    fs::create_symlink("/dev/null", device);
    for (const std::string& path : {pipe, device}) {
        result = cli.Run({"save", path, "--emulate"});
        EXPECT_EQ(result.Code, ExitFileRefused) << path;
        EXPECT_TRUE(Contains(result.Err, "unable to create file: " + path)) << result.Err;
    }
    EXPECT_TRUE(fs::is_fifo(pipe));
    EXPECT_TRUE(fs::is_symlink(device));
    EXPECT_TRUE(fs::is_character_file("/dev/null"));
}

TEST_F(CliCommandsTest, SaveWritesInPlaceWhatCannotBeReplaced) {
    cli.AddAdapter();
    namespace fs = std::filesystem;
    // Hard links keep sharing one file.
    const std::string first = folder.Write("first.cfg", std::string(500, 'x'));
    const std::string second = folder.PathOf("second.cfg");
    fs::create_hard_link(first, second);
    CliResult result = cli.Run({"save", first, "--emulate"});
    EXPECT_EQ(result.Code, ExitSuccess) << result.Err;
    EXPECT_TRUE(fs::equivalent(first, second));
    EXPECT_EQ(fs::file_size(second), 64u);

    // A name as long as the file system allows leaves no room for a temporary name beside it:
    // the folder takes no new file, for root as for anyone, but the file itself is writable.
    const std::string longest = folder.Write(std::string(251, 'n') + ".cfg", std::string(500, 'x'));
    result = cli.Run({"save", longest, "--emulate"});
    EXPECT_EQ(result.Code, ExitSuccess) << result.Err;
    EXPECT_EQ(fs::file_size(longest), 64u);
    EXPECT_EQ(std::distance(fs::directory_iterator(folder.PathOf("")), {}), 3);
}

#endif

TEST_F(CliCommandsTest, LoadWritesTheFileKeepingTheAdaptersVersion) {
    auto adapter = cli.AddAdapter();
    Settings record = adapter->Settings();
    record[1] = 7;
    record[40] = 0x40;
    adapter->SetSettings(record);
    std::string bytes(64, '\0');
    bytes[0] = 3;
    bytes[1] = 99;                      // the saving adapter's version: not written
    bytes[3] = 2;                       // 2400
    bytes[5] = static_cast<char>(200);  // 2000 ms
    bytes[11] = 0;
    bytes[12] = 1;
    const std::string path = folder.Write("load.cfg", bytes);

    CliResult result = cli.Run({"load", path, "--emulate"});
    EXPECT_EQ(result.Code, ExitSuccess) << result.Err;
    const Settings written = adapter->Settings();
    EXPECT_EQ(written[1], 7);
    EXPECT_EQ(written[3], 2);
    EXPECT_EQ(written[5], 200);
    EXPECT_EQ(written[11], 0);
    EXPECT_EQ(written[40], 0);  // the file holds 64 bytes, all of them used
}

TEST_F(CliCommandsTest, LoadWritesOnlyWholeFilesThatThePageCouldShow) {
    auto adapter = cli.AddAdapter();
    for (const quillon::test::ConfigFileCase& file : quillon::test::ConfigFileCases()) {
        SCOPED_TRACE(file.Name);
        const std::string path =
            folder.Write(file.Name, std::string(file.Bytes.begin(), file.Bytes.end()));
        const size_t before = SetTransfers(*adapter);
        const CliResult result = cli.Run({"load", path, "--emulate"});
        if (file.Sound) {
            EXPECT_EQ(result.Code, ExitSuccess) << result.Err;
            EXPECT_EQ(adapter->Settings()[3], 8);
            EXPECT_EQ(adapter->Settings()[40], 0x5A);
        } else {
            EXPECT_EQ(result.Code, ExitFileRefused);
            EXPECT_TRUE(Contains(result.Err, file.Refusal)) << result.Err;
            EXPECT_EQ(SetTransfers(*adapter), before);
        }
    }
}

TEST_F(CliCommandsTest, LoadRefusesMissingAndForeignFilesBeforeTouchingTheAdapter) {
    auto adapter = cli.AddAdapter();
    const std::string missing = folder.PathOf("missing.cfg");
    CliResult result = cli.Run({"load", missing, "--emulate"});
    EXPECT_EQ(result.Code, ExitFileRefused);
    EXPECT_TRUE(Contains(result.Err, "file not found: " + missing));

    const std::string foreign = folder.Write("foreign.cfg", std::string(64, '\x06'));
    result = cli.Run({"load", foreign, "--emulate"});
    EXPECT_EQ(result.Code, ExitFileRefused);
    EXPECT_TRUE(Contains(result.Err, "not a settings file"));
    EXPECT_EQ(adapter->TransferCount(), 0u);
}

TEST_F(CliCommandsTest, RawReportsUseTheHistoryFormat) {
    auto adapter = cli.AddAdapter();
    CliResult result = cli.Run({"raw", "get", "3", "--length=5", "--emulate"});
    EXPECT_EQ(result.Code, ExitSuccess) << result.Err;
    EXPECT_EQ(result.Out, "R 03  01 00 10 00 \n");

    result = cli.Run({"raw", "set", "03", "1", "0", "8", "0", "0", "0", "0", "0", "0", "0", "0",
                      "1", "--emulate"});
    EXPECT_EQ(result.Code, ExitSuccess) << result.Err;
    // The whole feature report goes out, the bytes not given as 00.
    EXPECT_TRUE(Contains(result.Out, "W 03  01 00 08 00 00 00 00 00 00 00 00 01 00 00 "));
    EXPECT_EQ(result.Out.size(), std::string("W 03  ").size() + 64 * 3 + 1);
    EXPECT_EQ(adapter->Settings()[3], 8);
    const auto log = adapter->Log();
    EXPECT_EQ(log.back().Length, 65u);

    result = cli.Run({"raw", "get", "03", "--length", "4", "--emulate"});
    EXPECT_EQ(result.Out, "R 03  01 00 08 \n");

    adapter->FailTransfer(adapter->TransferCount());
    result = cli.Run({"raw", "get", "3", "--emulate"});
    EXPECT_EQ(result.Code, ExitTransferFailed);
}

TEST_F(CliCommandsTest, ResetSendsTheFourByteResetReport) {
    auto adapter = cli.AddAdapter();
    const CliResult result = cli.Run({"reset", "--emulate"});
    EXPECT_EQ(result.Code, ExitSuccess) << result.Err;
    EXPECT_EQ(adapter->ResetCount(), 1);
    const auto log = adapter->Log();
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0].Bytes, (std::vector<uint8_t>{6, 0, 0, 0}));
    EXPECT_EQ(log[0].Length, 4u);
}

TEST_F(CliCommandsTest, MonitorPrintsInputReportsWithATimeStamp) {
    auto adapter = cli.AddAdapter();
    adapter->StartInputReports(200);
    CliResult result = cli.Run({"monitor", "--count=3", "--emulate"});
    adapter->StopInputReports();
    EXPECT_EQ(result.Code, ExitSuccess) << result.Err;
    const std::regex line(R"(\d\d:\d\d:\d\d\.\d{3} R 01  ([0-9A-F]{2} ){8})");
    std::istringstream lines(result.Out);
    int count = 0;
    for (std::string text; std::getline(lines, text); ++count) {
        EXPECT_TRUE(std::regex_match(text, line)) << text;
    }
    EXPECT_EQ(count, 3);
}

// Scripts read the output as reports only: the pull that ends the run is told on the error
// stream, whatever read failed on the way.
TEST_F(CliCommandsTest, MonitorPulledMidRunKeepsItsOutputToReports) {
    auto adapter = cli.AddAdapter();
    adapter->StartInputReports(500);
    std::thread puller([&] {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        // Pulled once the monitor's reader waits for reports, whatever the machine's pace.
        while (std::chrono::steady_clock::now() < deadline &&
               (cli.Bus.load() == nullptr || cli.Bus.load()->Stats(1).WaitersNow == 0)) {
            std::this_thread::yield();
        }
        if (emu::EmulatedBus* bus = cli.Bus.load()) {
            bus->UnplugAll();
        }
    });
    const CliResult result = cli.Run({"monitor", "--emulate"});
    puller.join();
    adapter->StopInputReports();
    EXPECT_EQ(result.Code, ExitNoAdapter) << result.Err;
    EXPECT_TRUE(Contains(result.Err, "was removed")) << result.Err;
    const std::regex line(R"(\d\d:\d\d:\d\d\.\d{3} R 01  ([0-9A-F]{2} ){8})");
    std::istringstream lines(result.Out);
    for (std::string text; std::getline(lines, text);) {
        EXPECT_TRUE(std::regex_match(text, line)) << text;
    }
}

TEST_F(CliCommandsTest, MonitorEndsAfterItsDurationOrWhenInterrupted) {
    cli.AddAdapter();
    CliResult result = cli.Run({"monitor", "--duration=0.05", "--emulate"});
    EXPECT_EQ(result.Code, ExitSuccess);
    EXPECT_EQ(result.Out, "");
    cli.Interrupted = true;
    result = cli.Run({"monitor", "--emulate"});
    EXPECT_EQ(result.Code, ExitSuccess);
}

TEST_F(CliCommandsTest, VerboseLogsEveryTransfer) {
    cli.AddAdapter();
    const CliResult result = cli.Run({"set", "baud=2400", "--verbose", "--emulate"});
    EXPECT_EQ(result.Code, ExitSuccess);
    EXPECT_TRUE(Contains(result.Err, "[device] emu:1 get 65 bytes: 03 01 00 10 ")) << result.Err;
    EXPECT_TRUE(Contains(result.Err, "[device] emu:1 set 65 bytes: 03 01 00 02 ")) << result.Err;
    // Without --verbose nothing is logged on the error stream.
    EXPECT_EQ(cli.Run({"set", "baud=2400", "--emulate"}).Err, "");
}

}  // namespace
}  // namespace quillon::cli::test
