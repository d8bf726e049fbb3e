#include <gtest/gtest.h>

#include <memory>

#include "config/SettingsRules.h"
#include "device/AdapterSession.h"
#include "hid/emulated/EmulatedBus.h"
#include "hid/emulated/QuillonAdapter.h"

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
    const auto record = session.ReadSettings(1);
    ASSERT_TRUE(record) << record.Error().Message;
    SettingsControlValues values = *ShownSettings(*record);
    values.BaudText = "9600";
    ASSERT_TRUE(session.WriteSettings(1, values, *record));

    const auto sent = bench.second->Log().at(1);
    ASSERT_EQ(sent.Dir, emu::AdapterTransfer::Direction::Set);
    ASSERT_EQ(sent.Bytes.size(), ReportBufferSize);
    EXPECT_EQ(sent.Bytes[DeviceSettings::ReportId], SettingsReportId);
    EXPECT_EQ(sent.Bytes[DeviceSettings::BaudRate], 9600 / BaudRateUnit);
    EXPECT_EQ(sent.Bytes[DeviceSettings::RecordMarker], 1);
    EXPECT_EQ(sent.Bytes[DeviceSettings::RecordMarkerCopy], 7);
    EXPECT_TRUE(bench.first->Log().empty());
}

TEST(AdapterLayerTest, AFailureCarriesItsCodeAndTheReason) {
    TwoAdapters bench;
    AdapterSession& session = *bench.session;
    bench.first->FailTransfer(0);
    const auto record = session.ReadSettings(0);
    ASSERT_FALSE(record);
    EXPECT_EQ(record.Error().Error, AdapterError::TransferFailed);
    EXPECT_EQ(record.Error().Message.rfind("unable to read the settings: ", 0), 0u);

    // The read-back after the write fails: the write is not reported as done.
    const auto good = session.ReadSettings(0);
    ASSERT_TRUE(good);
    bench.first->FailTransfer(3);
    const auto written = session.WriteSettings(0, *ShownSettings(*good), *good);
    ASSERT_FALSE(written);
    EXPECT_EQ(written.Error().Error, AdapterError::TransferFailed);

    const auto reset = session.Reset(1);
    EXPECT_TRUE(reset);
    EXPECT_EQ(bench.second->ResetCount(), 1);
}

}  // namespace
}  // namespace quillon
