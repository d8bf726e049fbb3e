#include "device/ParallelFlash.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>

#include "base/Log.h"
#include "device/AdapterSession.h"
#include "device/LoggingFeatureDevice.h"
#include "hid/emulated/EmulatedBus.h"
#include "hid/emulated/QuillonAdapter.h"
#include "tests/HexFiles.h"

namespace quillon {
namespace {

using firmware::kBlockCount;
using firmware::kImageBase;

constexpr std::chrono::milliseconds kLongWait(10000);

struct FlashBench {
    emu::EmulatedBus bus;
    std::vector<std::shared_ptr<emu::QuillonAdapter>> adapters;
    std::unique_ptr<AdapterSession> session;

    explicit FlashBench(int count) {
        for (int i = 0; i < count; ++i) {
            adapters.push_back(std::make_shared<emu::QuillonAdapter>());
            bus.Plug(adapters.back());
        }
        session = std::make_unique<AdapterSession>(bus, false);
        EXPECT_TRUE(session->Scan(kLongWait));
        EXPECT_EQ(session->AdapterCount(), static_cast<size_t>(count));
    }
};

void ExpectFlashed(const emu::QuillonAdapter& adapter, const firmware::FirmwareImage& image) {
    const std::vector<uint8_t> flash = adapter.Flash();
    EXPECT_TRUE(std::equal(image.begin(), image.end(), flash.begin() + kImageBase));
    EXPECT_EQ(adapter.TransferCount(), static_cast<size_t>(firmware::kTransfersPerUpdate));
}

TEST(ParallelFlashTest, EveryDeviceIsUpdatedOnItsOwnThreadAndEveryBlockIsReported) {
    FlashBench bench(4);
    const firmware::FirmwareImage image = quillon::testing::PatternImage();
    quillon::testing::TempDir folder;
    const std::string file = folder.Write("update.hex", quillon::testing::HexFileFor(image));

    // Logging from the workers at once: the sink is called from several threads.
    std::atomic<int> logged{0};
    ScopedLogSink sink(LogSink{{}, [&](LogCategory, std::string_view) { ++logged; }});
    std::vector<AdapterService*> devices;
    for (size_t i = 0; i < 4; ++i) {
        devices.push_back(&bench.session->Service(i));
    }
    bench.adapters[2]->SetTransferDelay(std::chrono::microseconds(200));

    std::vector<std::vector<int>> blocks(4);
    std::vector<int> outcomesSeen(4, 0);
    const auto caller = std::this_thread::get_id();
    const auto outcomes = FlashDevices(devices, file, [&](const FlashEvent& event) {
        EXPECT_EQ(std::this_thread::get_id(), caller);
        if (event.Block >= 0) {
            EXPECT_EQ(outcomesSeen[event.Device], 0) << "block after the outcome";
            blocks[event.Device].push_back(event.Block);
        } else {
            ++outcomesSeen[event.Device];
        }
    });

    ASSERT_EQ(outcomes.size(), 4u);
    std::vector<int> allBlocks(kBlockCount);
    for (int b = 0; b < kBlockCount; ++b) {
        allBlocks[b] = b;
    }
    for (size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(outcomes[i].Result, firmware::UpdateResult::Ready) << outcomes[i].Message;
        EXPECT_EQ(outcomes[i].Message, "ready");
        EXPECT_EQ(blocks[i], allBlocks);
        EXPECT_EQ(outcomesSeen[i], 1);
        ExpectFlashed(*bench.adapters[i], image);
    }
    EXPECT_GE(logged.load(), 4 * firmware::kTransfersPerUpdate);
}

TEST(ParallelFlashTest, OneDeviceFailingLeavesTheOthersToFinish) {
    FlashBench bench(3);
    const firmware::FirmwareImage image = quillon::testing::PatternImage();
    quillon::testing::TempDir folder;
    const std::string file = folder.Write("update.hex", quillon::testing::HexFileFor(image));
    bench.adapters[1]->AnswerWrongChecksum(15);

    std::vector<AdapterService*> devices;
    for (size_t i = 0; i < 3; ++i) {
        devices.push_back(&bench.session->Service(i));
    }
    const auto outcomes = FlashDevices(devices, file);
    EXPECT_EQ(outcomes[0].Result, firmware::UpdateResult::Ready);
    EXPECT_EQ(outcomes[1].Result, firmware::UpdateResult::ChecksumError);
    EXPECT_EQ(outcomes[1].Message, "CRC Error during flash write");
    EXPECT_EQ(outcomes[2].Result, firmware::UpdateResult::Ready);
    ExpectFlashed(*bench.adapters[0], image);
    ExpectFlashed(*bench.adapters[2], image);
    EXPECT_FALSE(bench.adapters[1]->InUpdateMode());  // the finish command came all the same
}

TEST(ParallelFlashTest, SessionChecksOutAdaptersOnlyAndSelectsByIndexOrPath) {
    emu::EmulatedBus bus;
    bus.Plug(std::make_shared<emu::QuillonAdapter>());
    bus.Plug(std::make_shared<emu::QuillonAdapter>(), emu::PlugOptions{.ReadWriteAllowed = false});
    AdapterSession session(bus, false);
    ASSERT_TRUE(session.Scan(kLongWait));
    ASSERT_EQ(session.AdapterCount(), 2u);
    EXPECT_TRUE(session.Adapter(0).CheckedOut());
    EXPECT_FALSE(session.AdapterSummary(1).CanReadWrite);
    EXPECT_EQ(session.AdapterSummary(1).OpenErrorMessage, "Permission denied");
    EXPECT_EQ(session.AdapterSummary(0).Product, u"Quillon");

    EXPECT_TRUE(session.CheckWritable(0));
    EXPECT_EQ(session.CheckWritable(1).Error().Error, AdapterError::NoPermission);

    EXPECT_EQ(session.Find(""), 0u);
    EXPECT_EQ(session.Find("1"), 1u);
    EXPECT_EQ(session.Find(session.Adapter(0).InterfacePath()), 0u);
    EXPECT_FALSE(session.Find("2"));
    EXPECT_FALSE(session.Find("99999999999999999999"));
    EXPECT_FALSE(session.Find("emu:77"));
}

}  // namespace
}  // namespace quillon
