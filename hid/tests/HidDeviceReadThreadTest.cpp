#include "hid/HidDeviceReadThread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <thread>

#include "hid/tests/HidTestSupport.h"

namespace quillon::testing {
namespace {

class ReaderTest : public HidFixture {
  protected:
    // One device with 8-byte input reports (9 with the ID byte), checked out with its reader
    // waiting for input.
    THidDevice* StartReading(int sleepTimeMs = 100) {
        instance = Plug();
        StartController();
        controller->DeviceAt(0)->SetReaderSleepTime(sleepTimeMs);
        THidDevice* d = CheckOut(0);
        EXPECT_NE(d, nullptr);
        EXPECT_TRUE(d != nullptr && d->HasReader());
        EXPECT_TRUE(WaitForReaderWaiting(instance));
        return d;
    }

    emu::GenericDevice& Model() { return *models.back(); }

    uint32_t instance = 0;
};

TEST_F(ReaderTest, NineByteReportArrivesAsIdAndEightDataBytesOnTheOwningThread) {
    THidDevice* d = StartReading();
    ASSERT_TRUE(Model().SendInput({0x01, 10, 11, 12, 13, 14, 15, 16, 17}));
    ASSERT_TRUE(RunUntil([&] { return rec.reports.size() == 1; }));
    const auto& report = rec.reports[0];
    EXPECT_EQ(report.device, d);
    EXPECT_EQ(report.reportId, 0x01);
    EXPECT_EQ(report.data, (std::vector<uint8_t>{10, 11, 12, 13, 14, 15, 16, 17}));
    EXPECT_EQ(report.thread, std::this_thread::get_id());
    EXPECT_TRUE(rec.errors.empty());
}

TEST_F(ReaderTest, ZeroByteCompletionGivesNothing) {
    StartReading();
    ASSERT_TRUE(Model().SendInput({}));
    ASSERT_TRUE(Model().SendInput({0x02, 1, 2, 3, 4, 5, 6, 7, 8}));
    ASSERT_TRUE(RunUntil([&] { return !rec.reports.empty(); }));
    ASSERT_EQ(rec.reports.size(), 1u);
    EXPECT_EQ(rec.reports[0].reportId, 0x02);
    EXPECT_TRUE(rec.errors.empty());
}

TEST_F(ReaderTest, ReportsArriveInOrderWithTheirTrueLength) {
    StartReading();
    for (int i = 0; i < 200; ++i) {
        ASSERT_TRUE(Model().SendInput({0x01, static_cast<uint8_t>(i), 0, 0, 0, 0, 0, 0, 0}));
    }
    ASSERT_TRUE(Model().SendInput({0x03, 0xAA, 0xBB}));  // short: its true length
    ASSERT_TRUE(Model().SendInput({0x04}));              // the ID alone: no data bytes
    ASSERT_TRUE(Model().SendInput({0x05, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10}));  // cut to the buffer
    ASSERT_TRUE(RunUntil([&] { return rec.reports.size() == 203; }));
    for (int i = 0; i < 200; ++i) {
        ASSERT_EQ(rec.reports[i].data.at(0), i);
    }
    EXPECT_EQ(rec.reports[200].data, (std::vector<uint8_t>{0xAA, 0xBB}));
    EXPECT_EQ(rec.reports[201].reportId, 0x04);
    EXPECT_TRUE(rec.reports[201].data.empty());
    EXPECT_EQ(rec.reports[202].data.size(), 8u);
}

TEST_F(ReaderTest, StopEndsTheReaderWithinTheCurrentSlice) {
    THidDevice* d = StartReading(THidDevice::kMaxReaderSleepTime);
    const emu::DeviceStats before = bus.Stats(instance);
    ASSERT_EQ(before.WaitersNow, 1);

    Release(d);
    const emu::DeviceStats after = bus.Stats(instance);
    EXPECT_EQ(after.InputWaits, before.InputWaits) << "no wait may begin after the stop";
    EXPECT_EQ(after.WaitersNow, 0);
    EXPECT_EQ(after.OpenHandles, 0);
    EXPECT_EQ(bus.HandlesClosedWhileInUse(), 0);
    EXPECT_FALSE(controller->DeviceAt(0)->HasReader());
}

TEST_F(ReaderTest, ClearingTheDataHandlerStopsTheReaderAndSettingItStartsOne) {
    THidDevice* d = StartReading();
    d->SetDataHandler({});
    EXPECT_FALSE(d->HasReader());
    EXPECT_EQ(bus.Stats(instance).WaitersNow, 0);
    d->SetDataHandler(MakeHandler<&EventRecorder::Data>(&rec));
    EXPECT_TRUE(d->HasReader());
    ASSERT_TRUE(WaitForReaderWaiting(instance));
    ASSERT_TRUE(Model().SendInput({0x01, 1, 2, 3, 4, 5, 6, 7, 8}));
    EXPECT_TRUE(RunUntil([&] { return rec.reports.size() == 1; }));
}

TEST_F(ReaderTest, UnplugGivesNoDataThenPacedErrorsUntilRelease) {
    constexpr int kSlice = 20;
    THidDevice* d = StartReading(kSlice);
    Unplug(instance);  // the scan marks it unplugged while its reader waits
    EXPECT_FALSE(Model().SendInput({0x01, 1, 2, 3, 4, 5, 6, 7, 8}));
    ASSERT_TRUE(RunUntil([&] { return rec.errors.size() >= 3; }));
    EXPECT_TRUE(rec.reports.empty());
    for (const HidFailure& error : rec.errors) {
        EXPECT_EQ(error.Error.Kind, HidErrorKind::Gone);
        EXPECT_EQ(error.Error.NativeCode, static_cast<uint32_t>(ENODEV));
        EXPECT_EQ(error.Message, "No such device");
    }
    // Each failed attempt is followed by one slice of waiting, not by the next attempt at once.
    EXPECT_GE(rec.errorTimes[2] - rec.errorTimes[0], std::chrono::milliseconds(2 * kSlice));

    Release(d);
    const size_t errors = rec.errors.size();
    loop.RunPending();
    EXPECT_EQ(rec.errors.size(), errors) << "the reader is gone with its release";
    EXPECT_EQ(bus.HandlesClosedWhileInUse(), 0);
    EXPECT_EQ(bus.Stats(instance).OpenHandles, 0);
}

TEST_F(ReaderTest, DevicePulledBeforeAnyScanReportsErrorsWithoutSpinning) {
    THidDevice* d = StartReading(10);
    bus.Unplug(instance);  // the handle fails under the waiting reader
    ASSERT_TRUE(RunUntil([&] { return rec.errors.size() >= 2 && !d->Attached(); }));
    EXPECT_TRUE(rec.reports.empty());
    Release(d);
    EXPECT_EQ(bus.HandlesClosedWhileInUse(), 0);
}

TEST_F(ReaderTest, ReleaseServesAHandOverThatIsWaiting) {
    THidDevice* d = StartReading();
    ASSERT_TRUE(Model().SendInput({0x01, 1, 2, 3, 4, 5, 6, 7, 8}));
    // The reader blocks in its hand-over; the owner does not run its loop but releases.
    const auto deadline = std::chrono::steady_clock::now() + kDeadline;
    while (loop.PendingTasks() == 0 && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::yield();
    }
    ASSERT_GT(loop.PendingTasks(), 0u);
    Release(d);
    ASSERT_EQ(rec.reports.size(), 1u);
    EXPECT_EQ(rec.reports[0].reportId, 0x01);
}

TEST_F(ReaderTest, ReleasesDuringAStreamOfReportsNeverCloseAHandleInUse) {
    instance = Plug();
    StartController();
    std::atomic<bool> streaming{true};
    std::thread sender([&] {
        uint8_t counter = 0;
        while (streaming.load()) {
            Model().SendInput({0x01, counter++, 0, 0, 0, 0, 0, 0, 0});
            std::this_thread::yield();
        }
    });
    for (int round = 0; round < 20; ++round) {
        THidDevice* d = CheckOut(0);
        ASSERT_NE(d, nullptr);
        loop.RunOnce(1);
        if (round % 2 == 1) {
            d->CloseReadHandle();  // as an unplug does, while the reader may be inside a read
            loop.RunOnce(1);
        }
        Release(d);
    }
    streaming.store(false);
    sender.join();
    EXPECT_EQ(bus.HandlesClosedWhileInUse(), 0);
    EXPECT_EQ(bus.Stats(instance).OpenHandles, 0);
}

// A handler that stops the reader it runs for used to wait for that reader forever.
TEST_F(ReaderTest, DataHandlerMayClearItselfOrReleaseItsOwnDevice) {
    THidDevice* d = StartReading();
    struct StoppingHandler {
        ReaderTest* test;
        int calls = 0;
        void Clear(THidDevice* device, uint8_t, std::span<const uint8_t>) {
            ++calls;
            device->SetDataHandler({});
        }
        void Release(THidDevice* device, uint8_t, std::span<const uint8_t>) {
            ++calls;
            test->Release(device);
        }
    } handler{this};
    const std::vector<uint8_t> report{0x01, 1, 2, 3, 4, 5, 6, 7, 8};

    d->SetDataHandler(MakeHandler<&StoppingHandler::Clear>(&handler));
    ASSERT_TRUE(WaitForReaderWaiting(instance));
    ASSERT_TRUE(Model().SendInput(report));
    ASSERT_TRUE(RunUntil([&] { return handler.calls == 1 && !d->HasReader(); }));
    // A new reader takes over.
    d->SetDataHandler(MakeHandler<&EventRecorder::Data>(&rec));
    ASSERT_TRUE(Model().SendInput(report));
    ASSERT_TRUE(RunUntil([&] { return rec.reports.size() == 1; }));

    d->SetDataHandler(MakeHandler<&StoppingHandler::Release>(&handler));
    ASSERT_TRUE(WaitForReaderWaiting(instance));
    ASSERT_TRUE(Model().SendInput(report));
    ASSERT_TRUE(RunUntil([&] {
        return handler.calls == 2 && controller->CheckedInCount() == 1 &&
               bus.Stats(instance).OpenHandles == 0 && loop.PendingTasks() == 0;
    }));
    EXPECT_EQ(bus.HandlesClosedWhileInUse(), 0);
    EXPECT_TRUE(held.empty());
}

}  // namespace
}  // namespace quillon::testing
