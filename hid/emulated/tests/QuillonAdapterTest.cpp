#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <thread>

#include "hid/ReportDescriptor.h"
#include "hid/emulated/QuillonAdapter.h"
#include "tests/AdapterDevice.h"

namespace quillon::emu {
namespace {

using Direction = AdapterTransfer::Direction;

// Waits, with a generous deadline, until the condition holds.
template <typename Condition>
bool WaitFor(Condition condition) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        std::this_thread::yield();
    }
    return true;
}

TEST(QuillonAdapterTest, IdentifiesItself) {
    QuillonAdapter adapter;
    EXPECT_EQ(adapter.Identity().VendorID, 0x169B);
    EXPECT_EQ(adapter.Identity().ProductID, 0x0110);
    EXPECT_EQ(adapter.Identity().VersionNumber, 0x0100);
    EXPECT_EQ(adapter.Manufacturer(), u"Morvane");
    EXPECT_EQ(adapter.Product(), u"Quillon");
    adapter.SetVersionNumber(0x0207);
    adapter.SetManufacturer(u"Other");
    adapter.SetProduct(u"");
    EXPECT_EQ(adapter.Identity().VersionNumber, 0x0207);
    EXPECT_EQ(adapter.Manufacturer(), u"Other");
    EXPECT_TRUE(adapter.Product().empty());

    const std::vector<uint8_t> descriptor = adapter.ReportDescriptor();
    const HidCaps caps = ParseReportDescriptorCaps(descriptor);
    EXPECT_EQ(caps.FeatureReportByteLength, 65);
    EXPECT_EQ(caps.InputReportByteLength, 9);
    EXPECT_EQ(caps.OutputReportByteLength, 0);
}

TEST(QuillonAdapterTest, KeepsItsSettingsRecord) {
    QuillonAdapter adapter;
    int error = 0;
    uint8_t record[65] = {3};
    ASSERT_TRUE(adapter.GetFeature(record, error));
    EXPECT_EQ(record[0], 3);
    EXPECT_EQ(record[3], 16);  // 19200 baud
    EXPECT_EQ(record[12], 1);
    EXPECT_EQ(record[64], record[12]);

    uint8_t changed[65] = {3, 1, 1, 8, 20, 30, 0, 0, 0, 1, 1, 2, 1};
    changed[40] = 0x77;
    ASSERT_TRUE(adapter.SetFeature(changed, error));
    uint8_t back[65] = {3};
    ASSERT_TRUE(adapter.GetFeature(back, error));
    EXPECT_EQ(std::vector<uint8_t>(back, back + 65), std::vector<uint8_t>(changed, changed + 65));

    // A shorter read gets the record's start.
    uint8_t head[4] = {3};
    ASSERT_TRUE(adapter.GetFeature(head, error));
    EXPECT_EQ(head[3], 8);
}

TEST(QuillonAdapterTest, ResetAndUnknownReports) {
    QuillonAdapter adapter;
    int error = 0;
    const uint8_t start[4] = {2, 0x34, 0, 0};
    ASSERT_TRUE(adapter.SetFeature({start, 4}, error));
    EXPECT_TRUE(adapter.InUpdateMode());
    const uint8_t reset[4] = {6, 0, 0, 0};
    ASSERT_TRUE(adapter.SetFeature({reset, 4}, error));
    EXPECT_EQ(adapter.ResetCount(), 1);
    EXPECT_FALSE(adapter.InUpdateMode());

    uint8_t unknown[8] = {9};
    EXPECT_FALSE(adapter.GetFeature(unknown, error));
    EXPECT_EQ(error, EPIPE);
    EXPECT_FALSE(adapter.SetFeature(unknown, error));
    EXPECT_EQ(error, EPIPE);
    const std::vector<AdapterTransfer> log = adapter.Log();
    ASSERT_EQ(log.size(), 4u);
    EXPECT_EQ(log[1].Bytes, std::vector<uint8_t>(reset, reset + 4));
    EXPECT_FALSE(log[3].Ok);
}

TEST(QuillonAdapterTest, RefusesUpdateCommandsOutOfOrder) {
    QuillonAdapter adapter;
    int error = 0;
    auto command = [&](uint8_t code, uint8_t block) {
        const uint8_t report[4] = {2, code, block, 0};
        EXPECT_TRUE(adapter.SetFeature({report, 4}, error));
        uint8_t status[2] = {5, 2};
        EXPECT_TRUE(adapter.GetFeature({status, 2}, error));
        return status[1];
    };
    EXPECT_EQ(command(0x01, 10), 3);  // no start yet
    command(0x34, 0);
    EXPECT_EQ(command(0x01, 9), 3);   // boot loader block
    EXPECT_EQ(command(0x01, 32), 3);  // beyond the flash
    EXPECT_EQ(command(0x01, 10), 1);
    EXPECT_EQ(command(0x02, 11), 3);  // not the erased block
    EXPECT_EQ(command(0x02, 10), 1);
    EXPECT_EQ(command(0x77, 0), 3);
    EXPECT_EQ(command(0x06, 0), 1);
    EXPECT_FALSE(adapter.InUpdateMode());
    const std::vector<uint8_t> flash = adapter.Flash();
    EXPECT_EQ(flash[10 * 512], 0xFF);  // erased
    EXPECT_EQ(flash[11 * 512], QuillonAdapter::kOldFirmwareByte);
}

TEST(QuillonAdapterTest, InputReportsOnDemandAndAtARate) {
    QuillonAdapter adapter;
    EXPECT_FALSE(adapter.SendInputReport({1, 2, 3}));  // no host yet
    testing::AdapterDevice device(adapter);
    EXPECT_TRUE(adapter.SendInputReport({1, 2, 3}));
    ASSERT_EQ(device.InputReports().size(), 1u);
    EXPECT_EQ(device.InputReports()[0], (std::vector<uint8_t>{1, 2, 3}));

    adapter.StartInputReports(2000);
    // Feature transfers go on beside the generator.
    std::thread transfers([&] {
        int error = 0;
        for (int i = 0; i < 200; ++i) {
            uint8_t record[65] = {3};
            adapter.GetFeature(record, error);
        }
    });
    EXPECT_TRUE(WaitFor([&] { return device.InputReports().size() >= 50; }));
    transfers.join();
    adapter.StopInputReports();
    const size_t stopped = device.InputReports().size();
    EXPECT_EQ(adapter.InputReportsSent(), stopped);
    const std::vector<std::vector<uint8_t>> reports = device.InputReports();
    for (size_t i = 1; i < reports.size(); ++i) {
        ASSERT_EQ(reports[i].size(), 9u);
        EXPECT_EQ(reports[i][0], 1);
        EXPECT_EQ(reports[i][1], uint8_t(i));  // running counter, low byte
    }
    // Restarting and destroying the adapter while it generates stops cleanly.
    adapter.StartInputReports(5000);
    EXPECT_TRUE(WaitFor([&] { return device.InputReports().size() > stopped; }));
}

TEST(QuillonAdapterTest, UnplugLeavesTheBusUntilAttachedAgain) {
    QuillonAdapter adapter;
    testing::AdapterDevice device(adapter);
    adapter.UnplugAtTransfer(1);
    uint8_t record[65] = {3};
    int error = 0;
    EXPECT_TRUE(adapter.GetFeature(record, error));
    EXPECT_FALSE(adapter.GetFeature(record, error));
    EXPECT_EQ(error, ENODEV);
    EXPECT_TRUE(device.Unplugged());
    EXPECT_FALSE(adapter.GetFeature(record, error));
    EXPECT_FALSE(adapter.SendInputReport({1}));
    EXPECT_EQ(adapter.TransferCount(), 2u);
    adapter.ClearFaults();
    testing::AdapterDevice again(adapter);
    EXPECT_TRUE(adapter.GetFeature(record, error));
}

}  // namespace
}  // namespace quillon::emu
