#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>

#include "config/SettingsRules.h"
#include "device/AdapterSession.h"
#include "device/SettingsRecord.h"
#include "hid/emulated/EmulatedBus.h"
#include "hid/emulated/QuillonAdapter.h"
#include "tests/ConfigFileCases.h"
#include "tests/TempDirectory.h"

namespace quillon {
namespace {

constexpr std::chrono::milliseconds kLongWait(10000);

struct TwoAdapters {
    emu::EmulatedBus bus;
    std::shared_ptr<emu::QuillonAdapter> first = std::make_shared<emu::QuillonAdapter>();
    std::shared_ptr<emu::QuillonAdapter> second = std::make_shared<emu::QuillonAdapter>();
    std::unique_ptr<AdapterSession> session;

    TwoAdapters() {
        bus.Plug(first);
        bus.Plug(second);
        session = std::make_unique<AdapterSession>(bus, false);
        EXPECT_TRUE(session->Scan(kLongWait));
    }
};

TEST(AdapterLayerTest, TheAdapterGetsTheRecordAsApplySendsIt) {
    TwoAdapters bench;
    AdapterSession& session = *bench.session;
    ASSERT_EQ(session.AdapterCount(), 2u);

    auto stored = bench.second->Settings();
    stored[DeviceSettings::RecordMarker] = 7;  // what the adapter left there is copied along
    bench.second->SetSettings(stored);
    const auto record = session.Service(1).ReadSettings();
    ASSERT_TRUE(record) << record.Error().Message;
    SettingsControlValues values = *ShownSettings(*record);
    values.BaudText = "9600";
    ASSERT_TRUE(session.WriteSettings(1, values, *record));

    const auto sent = bench.second->Log().at(1);
    ASSERT_EQ(sent.Dir, emu::AdapterTransfer::Direction::Set);
    ASSERT_EQ(sent.Bytes.size(), kReportBufferSize);
    EXPECT_EQ(sent.Bytes[DeviceSettings::ReportId], SettingsReportId);
    EXPECT_EQ(sent.Bytes[DeviceSettings::BaudRate], 9600 / kBaudRateUnit);
    EXPECT_EQ(sent.Bytes[DeviceSettings::RecordMarker], 1);
    EXPECT_EQ(sent.Bytes[DeviceSettings::RecordMarkerCopy], 7);
    EXPECT_TRUE(bench.first->Log().empty());
}

TEST(AdapterLayerTest, AFailureCarriesItsCodeAndTheReason) {
    TwoAdapters bench;
    AdapterSession& session = *bench.session;
    bench.first->FailTransfer(0);
    const auto record = session.Service(0).ReadSettings();
    ASSERT_FALSE(record);
    EXPECT_EQ(record.Error().Error, AdapterError::TransferFailed);
    EXPECT_EQ(record.Error().Message.rfind("unable to read the settings: ", 0), 0u);

    // The read-back after the write fails: the write is not reported as done.
    const auto good = session.Service(0).ReadSettings();
    ASSERT_TRUE(good);
    bench.first->FailTransfer(3);
    const auto written = session.WriteSettings(0, *ShownSettings(*good), *good);
    ASSERT_FALSE(written);
    EXPECT_EQ(written.Error().Error, AdapterError::TransferFailed);

    const auto reset = session.Service(1).Reset();
    EXPECT_TRUE(reset);
    EXPECT_EQ(bench.second->ResetCount(), 1);
}

// A file goes to an adapter only whole and as the settings page would show it: its settings
// decoded and encoded again, bytes 13 to 63 as they are, the adapter's version kept.
TEST(AdapterLayerTest, ConfigurationFilesAreCheckedInFullBeforeTheyReachAnAdapter) {
    const std::filesystem::path folder = test::MakeTempDirectory("quillon-cfg-");
    for (const test::ConfigFileCase& file : test::ConfigFileCases()) {
        SCOPED_TRACE(file.Name);
        const std::string path = (folder / file.Name).string();
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(file.Bytes.data()),
                   static_cast<std::streamsize>(file.Bytes.size()));
        const auto checked = CheckSettingsFile(path);
        if (!file.Sound) {
            ASSERT_FALSE(checked);
            EXPECT_EQ(checked.Error().Error, AdapterError::FileRefused);
            EXPECT_NE(checked.Error().Message.find(file.Refusal), std::string::npos)
                << checked.Error().Message;
            EXPECT_NE(checked.Error().Message.find(path), std::string::npos);
            continue;
        }
        ASSERT_TRUE(checked) << checked.Error().Message;
        ReportBuffer record{};
        record[DeviceSettings::Version] = 42;
        const SettingsControlValues shown = LaySettingsFile(*checked, record);
        EXPECT_EQ(shown.BaudText, "9600");
        PrepareSettingsWrite(shown, record);
        EXPECT_EQ(record[DeviceSettings::Version], 42);
        EXPECT_EQ(record[DeviceSettings::BaudRate], 8);
        EXPECT_EQ(record[40], 0x5A);
    }
    std::filesystem::remove_all(folder);
}

}  // namespace
}  // namespace quillon
