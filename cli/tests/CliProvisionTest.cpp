#include <gtest/gtest.h>

#include <QJsonDocument>
#include <QJsonObject>
#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>

#include "cli/ExitCodes.h"
#include "cli/tests/CliTestSupport.h"
#include "device/records/RecordStore.h"
#include "firmware/UpdateProtocol.h"
#include "tests/HexFiles.h"

namespace quillon::cli::test {
namespace {

using Adapter = emu::QuillonAdapter;

bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

std::vector<std::string> Lines(const std::string& text, const char* end = "\n") {
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t at; (at = text.find(end, start)) != std::string::npos;) {
        lines.push_back(text.substr(start, at - start));
        start = at + std::strlen(end);
    }
    return lines;
}

// An adapter that lets the test act at a given feature transfer of its own, on the job's
// thread, the moment that transfer is done: plug another adapter, pull one, press Ctrl+C.
class ScriptedAdapter final : public emu::IDeviceModel {
  public:
    ScriptedAdapter(size_t atTransfer, std::function<void()> action)
        : atTransfer_(atTransfer), action_(std::move(action)) {}

    HidIdentity Identity() const override { return Inner->Identity(); }
    std::u16string Manufacturer() const override { return Inner->Manufacturer(); }
    std::u16string Product() const override { return Inner->Product(); }
    std::vector<uint8_t> ReportDescriptor() const override { return Inner->ReportDescriptor(); }
    bool GetFeature(std::span<uint8_t> report, int& error) override {
        const bool ok = Inner->GetFeature(report, error);
        Transferred();
        return ok;
    }
    bool SetFeature(std::span<const uint8_t> report, int& error) override {
        const bool ok = Inner->SetFeature(report, error);
        Transferred();
        return ok;
    }
    void Attach(emu::IDeviceModelHost* host) override { Inner->Attach(host); }

    const std::shared_ptr<Adapter> Inner = std::make_shared<Adapter>();

  private:
    void Transferred() {
        if (++transfers_ == atTransfer_) {
            action_();
        }
    }

    const size_t atTransfer_;
    const std::function<void()> action_;
    std::atomic<size_t> transfers_{0};
};

class CliProvisionTest : public ::testing::Test {
  protected:
    void SetUp() override {
        image = quillon::testing::PatternImage();
        hexFile = folder.Write("update.hex", quillon::testing::HexFileFor(image));
        // 9600 baud, 20 ms character delay, LF at the line end; the file's version byte (99)
        // must not reach the adapter.
        std::string record(64, '\0');
        record[0] = 3;
        record[1] = 99;
        record[3] = 8;
        record[4] = 2;
        record[11] = 2;
        record[12] = 1;
        configFile = folder.Write("station.cfg", record);
    }

    void ExpectProvisioned(const Adapter& adapter) const {
        const std::vector<uint8_t> flash = adapter.Flash();
        EXPECT_TRUE(std::equal(image.begin(), image.end(), flash.begin() + firmware::kImageBase));
        const auto settings = adapter.Settings();
        EXPECT_EQ(settings[1], 1);  // the adapter's own version byte
        EXPECT_EQ(settings[3], 8);
        EXPECT_EQ(settings[4], 2);
        EXPECT_EQ(settings[11], 2);
    }

    CliHarness cli;
    quillon::testing::TempDir folder;
    firmware::FirmwareImage image{};
    std::string hexFile;
    std::string configFile;
};

TEST_F(CliProvisionTest, SeveralAtOnceAreUpdatedConfiguredCheckedAndLogged) {
    std::vector<std::shared_ptr<Adapter>> adapters;
    for (int i = 0; i < 3; ++i) {
        adapters.push_back(cli.AddAdapter());
    }
    const std::string log = folder.PathOf("station.csv");
    const CliResult result =
        cli.Run({"provision", "--firmware", hexFile, "--config", configFile, "--log", log,
                 "--all-present", "--count", "3", "--emulate=3"});
    ASSERT_EQ(result.Code, ExitSuccess) << result.Err;
    for (const auto& adapter : adapters) {
        ExpectProvisioned(*adapter);
        EXPECT_EQ(adapter->TransferCount(), firmware::kTransfersPerUpdate + 3u);
    }
    const auto out = Lines(result.Out);
    ASSERT_EQ(out.size(), 4u) << result.Out;
    for (int i = 1; i <= 3; ++i) {
        const std::string start = "emu:" + std::to_string(i) +
                                  "  Quillon 169B:0110 v0100  update ok  settings ok  verify ok  ";
        EXPECT_EQ(std::count_if(out.begin(), out.end(),
                                [&](const std::string& line) {
                                    return line.rfind(start, 0) == 0 &&
                                           line.substr(line.size() - 4) == "PASS";
                                }),
                  1)
            << result.Out;
    }
    EXPECT_EQ(out[3], "3 passed, 0 failed");

    // The log: a header, then one whole line per adapter; a second run appends without one.
    EXPECT_EQ(cli.Run({"provision", "--config", configFile, "--log", log, "--all-present",
                       "--count", "1", "--emulate=1"})
                  .Code,
              ExitSuccess);
    std::ifstream file(log, std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(file)), {});
    const auto lines = Lines(text, "\r\n");
    ASSERT_EQ(lines.size(), 5u) << text;
    EXPECT_EQ(lines[0],
              "time,node,usb_port,vendor,product,manufacturer_text,product_text,version_before,"
              "version_after,firmware_file,firmware_crc32,settings,update,settings_write,verify,"
              "result,reason,seconds");
    const std::string settings =
        "baud=9600 char-delay=20 line-delay=0 flow=RTS/CTS enter=LF alt-key=off pavex=off "
        "clear-data=off clear-stx=off clear-etx=off";
    std::string checksum;
    for (size_t i = 1; i < lines.size(); ++i) {
        std::vector<std::string> fields;
        std::stringstream line(lines[i]);
        for (std::string field; std::getline(line, field, ',');) {
            fields.push_back(field);
        }
        ASSERT_EQ(fields.size(), 18u) << lines[i];
        EXPECT_EQ(fields[1].rfind("emu:", 0), 0u);
        EXPECT_EQ(fields[3] + fields[4] + fields[5] + fields[6] + fields[7] + fields[8],
                  "169B0110MorvaneQuillon01000100");
        EXPECT_EQ(fields[11], settings);
        EXPECT_EQ(fields[15], "PASS");
        if (i < 4) {
            EXPECT_EQ(fields[9], hexFile);
            EXPECT_EQ(fields[10].size(), 8u);
            EXPECT_EQ(fields[12] + fields[13] + fields[14], "okokok");
            checksum = checksum.empty() ? fields[10] : checksum;
            EXPECT_EQ(fields[10], checksum);
        } else {
            EXPECT_EQ(fields[9] + fields[10] + fields[12], "");  // no update in that run
        }
    }

    // Each adapter of both runs is also in the station's records, with what the log holds
    // and the bytes written.
    auto store = records::OpenRecordStore(cli.Env.RecordsFile);
    ASSERT_TRUE(store) << store.Error().Message;
    const auto kept = (*store)->Query({});
    ASSERT_TRUE(kept) << kept.Error().Message;
    ASSERT_EQ(kept->size(), 4u);
    EXPECT_EQ((*kept)[0].FirmwareCrc, checksum);
    EXPECT_GT((*kept)[0].FirmwareSize, 0);
    EXPECT_EQ((*kept)[3].Settings, settings);
    EXPECT_EQ((*kept)[3].SettingsBytes.size(), 64u);
    EXPECT_TRUE((*kept)[3].Passed);
}

TEST_F(CliProvisionTest, PullDuringTheUpdateOrTheSettingsWriteFailsThatAdapterOnly) {
    auto duringUpdate = cli.AddAdapter();
    auto duringSettings = cli.AddAdapter();
    auto whole = cli.AddAdapter();
    duringUpdate->UnplugAtTransfer(101);  // block 6's command before its data
    // The update's transfers, then the record read; the next one writes the settings.
    duringSettings->UnplugAtTransfer(firmware::kTransfersPerUpdate + 1);
    const CliResult result =
        cli.Run({"provision", "--firmware", hexFile, "--set", "baud=9600", "enter=LF",
                 "--all-present", "--count", "3", "--json", "--emulate=3"});
    EXPECT_EQ(result.Code, ExitTransferFailed) << result.Err;

    std::map<QString, QJsonObject> byNode;
    QJsonObject summary;
    for (const std::string& line : Lines(result.Out)) {
        const QJsonObject object =
            QJsonDocument::fromJson(QByteArray::fromStdString(line)).object();
        ASSERT_FALSE(object.isEmpty()) << line;
        if (object.contains("summary")) {
            summary = object["summary"].toObject();
        } else {
            byNode[object["node"].toString()] = object;
        }
    }
    ASSERT_EQ(byNode.size(), 3u) << result.Out;
    EXPECT_EQ(byNode["emu:1"]["result"], "FAIL");
    EXPECT_EQ(byNode["emu:1"]["update"], "failed");
    EXPECT_TRUE(byNode["emu:1"]["settings_write"].isNull());
    EXPECT_EQ(byNode["emu:1"]["reason"],
              "update: a report could not be sent to the adapter at block 7 of 20");
    EXPECT_EQ(byNode["emu:1"]["exit_code"], ExitTransferFailed);
    EXPECT_EQ(byNode["emu:2"]["result"], "FAIL");
    EXPECT_EQ(byNode["emu:2"]["update"], "ok");
    EXPECT_EQ(byNode["emu:2"]["settings_write"], "failed");
    EXPECT_TRUE(byNode["emu:2"]["reason"].toString().startsWith("unable to write the settings"));
    EXPECT_EQ(byNode["emu:3"]["result"], "PASS");
    EXPECT_EQ(byNode["emu:3"]["verify"], "ok");
    EXPECT_EQ(summary["passed"], 1);
    EXPECT_EQ(summary["failed"], 2);
    EXPECT_EQ(whole->Settings()[3], 8);
    EXPECT_EQ(duringSettings->Settings()[3], 16);  // untouched
}

TEST_F(CliProvisionTest, AdaptersPluggedLaterAndOneThatComesBackAreEachProvisioned) {
    // The first adapter is there at the start; when its read-back is done the second is
    // plugged in, and when the second's is done the first is pulled and plugged in again.
    std::shared_ptr<ScriptedAdapter> first;
    std::shared_ptr<ScriptedAdapter> second;
    first = std::make_shared<ScriptedAdapter>(3, [&] { cli.Bus.load()->Plug(second); });
    second = std::make_shared<ScriptedAdapter>(3, [&] {
        cli.Bus.load()->Unplug(1);
        cli.Bus.load()->Plug(first);
    });
    cli.AddAdapterModel(first);
    const CliResult result =
        cli.Run({"provision", "--set", "enter=LF", "--all-present", "--count", "3", "--emulate=1"});
    EXPECT_EQ(result.Code, ExitSuccess) << result.Err;
    const auto out = Lines(result.Out);
    ASSERT_EQ(out.size(), 4u) << result.Out;
    for (const char* node : {"emu:1  ", "emu:2  ", "emu:3  "}) {
        EXPECT_EQ(std::count_if(out.begin(), out.end(),
                                [&](const std::string& line) {
                                    return line.rfind(node, 0) == 0 && Contains(line, "PASS");
                                }),
                  1)
            << result.Out;
    }
    EXPECT_EQ(first->Inner->TransferCount(), 6u);  // provisioned twice
    EXPECT_EQ(second->Inner->Settings()[11], 2);
}

TEST_F(CliProvisionTest, CtrlCEndsOnceTheAdaptersInProgressAreDone) {
    auto late = std::make_shared<Adapter>();
    cli.AddAdapterModel(std::make_shared<ScriptedAdapter>(1, [&] {
        cli.Interrupted = true;
        cli.Bus.load()->Plug(late);
    }));
    auto other = cli.AddAdapter();
    const CliResult result =
        cli.Run({"provision", "--set", "enter=LF", "--all-present", "--emulate=2"});
    EXPECT_EQ(result.Code, ExitSuccess) << result.Err;
    EXPECT_TRUE(Contains(result.Out, "\n2 passed, 0 failed\n")) << result.Out;
    EXPECT_EQ(other->Settings()[11], 2);
    EXPECT_EQ(late->TransferCount(), 0u);
}

TEST_F(CliProvisionTest, AnAdapterHeldByAnotherProgramIsLeftUntouched) {
    auto held = std::make_shared<Adapter>();
    auto free = std::make_shared<Adapter>();
    std::unique_ptr<IHidHandle> otherProgram;
    cli.Env.CreatePlatform = [&](int) -> std::unique_ptr<IHidPlatform> {
        auto bus = std::make_unique<emu::EmulatedBus>();
        bus->Plug(held);
        bus->Plug(free);
        otherProgram = std::move(*bus->Open(emu::EmulatedBus::PathOf(1), HidAccess::ReadWrite));
        EXPECT_TRUE(otherProgram->TryLockExclusive());
        return bus;
    };
    const CliResult result =
        cli.Run({"provision", "--set", "enter=LF", "--all-present", "--count", "2"});
    EXPECT_EQ(result.Code, ExitAdapterBusy) << result.Err;
    EXPECT_TRUE(Contains(result.Out, "FAIL: in use by another program\n")) << result.Out;
    EXPECT_TRUE(Contains(result.Out, "\n1 passed, 1 failed\n")) << result.Out;
    EXPECT_EQ(held->TransferCount(), 0u);
    EXPECT_EQ(free->Settings()[11], 2);
}

// The same outcome as `flash` gives it: the adapter's refusal is a transfer failure, in words
// that do not send the operator looking for a file.
TEST_F(CliProvisionTest, AnAdapterRefusingABlockFailsAsATransferFailure) {
    auto adapter = cli.AddAdapter();
    adapter->AnswerStatus(0x01, 2, 12);
    const CliResult result =
        cli.Run({"provision", "--firmware", hexFile, "--all-present", "--count", "1", "--emulate"});
    EXPECT_EQ(result.Code, ExitTransferFailed) << result.Err;
    EXPECT_TRUE(Contains(result.Out, "FAIL: update: the adapter refused block 3 of 20 (status 2)"))
        << result.Out;
}

TEST_F(CliProvisionTest, BadInputIsRefusedBeforeAnyAdapterIsTouched) {
    auto adapter = cli.AddAdapter();
    std::string hex = quillon::testing::HexFileFor(image);
    hex.insert(hex.size() - 13, ":10140000ZZ\r\n");
    const std::string badHex = folder.Write("bad.hex", hex);
    const std::string notSettings = folder.Write("other.cfg", std::string(64, '\x06'));
    const auto run = [&](std::vector<std::string> words) {
        for (const char* word : {"--all-present", "--count", "1", "--emulate=1"}) {
            words.push_back(word);
        }
        words.insert(words.begin(), "provision");
        return cli.Run(words);
    };
    EXPECT_EQ(run({"--firmware", badHex}).Code, ExitFileRefused);
    EXPECT_EQ(run({"--firmware", folder.PathOf("missing.hex")}).Code, ExitFileRefused);
    EXPECT_EQ(run({"--config", notSettings}).Code, ExitFileRefused);
    EXPECT_EQ(run({"--config", folder.PathOf("missing.cfg")}).Code, ExitFileRefused);
    EXPECT_EQ(run({"--set", "baud=1000"}).Code, ExitUsage);
    EXPECT_EQ(run({"--set", "baud=9600", "--config", configFile}).Code, ExitUsage);
    EXPECT_EQ(run({"--set", "pavex=on", "clear-data=on"}).Code, ExitUsage);  // needs --yes
    const CliResult log = run({"--config", configFile, "--log", folder.PathOf("no/such.csv")});
    EXPECT_EQ(log.Code, ExitFileRefused);
    EXPECT_TRUE(Contains(log.Err, "unable to write the log file")) << log.Err;
    EXPECT_EQ(adapter->TransferCount(), 0u);
}

}  // namespace
}  // namespace quillon::cli::test
