#include <gtest/gtest.h>

#include <string>

#include "firmware/BlockChecksum.h"
#include "firmware/UpdateRun.h"
#include "firmware/tests/UpdateLog.h"
#include "tests/AdapterDevice.h"
#include "tests/HexFiles.h"

namespace quillon::firmware {
namespace {

using emu::QuillonAdapter;
using testing::Command;
using testing::StatusRead;
using testing::Transfer;

// Index of the first transfer of image block b in an update's transfer sequence.
constexpr size_t BlockStart(int b) {
    return 1 + 16 * size_t(b);
}
constexpr size_t kFinishCommand = 321;

// The outcome a run must have when transfer k of the sequence fails.
UpdateResult CodeWhenTransferFails(size_t k) {
    if (k > kFinishCommand) {
        return UpdateResult::Ready;  // the status answered to the finish command changes nothing
    }
    if (k == 0 || k == kFinishCommand) {
        return UpdateResult::SetReportError;
    }
    const size_t step = (k - 1) % 16;
    return step == 1 || step == 3 || step == 15 ? UpdateResult::GetReportError
                                                : UpdateResult::SetReportError;
}

class UpdateTest : public ::testing::Test {
  protected:
    UpdateTest() : image_(testing::PatternImage()) {
        file_ = dir_.Write("update.hex", testing::HexFileFor(image_));
    }

    UpdateOutcome Run(IFeatureReportDevice* device, const std::string& file) {
        blocksSeen_.clear();
        return RunFirmwareUpdate(device, file, sent_, [this](int b) { blocksSeen_.push_back(b); });
    }
    UpdateOutcome Run() { return Run(&device_, file_); }

    // An update of a fresh adapter that breakIt has set up to misbehave: its outcome, what
    // reached the adapter, and whether the adapter was gone at the end.
    struct BrokenRun {
        UpdateOutcome Outcome;
        std::vector<Transfer> Log;
        bool Unplugged = false;
    };
    template <class BreakIt>
    BrokenRun RunOnBrokenAdapter(BreakIt breakIt) {
        QuillonAdapter adapter;
        testing::AdapterDevice device(adapter);
        breakIt(adapter);
        FirmwareImage sent;
        const UpdateOutcome outcome = RunFirmwareUpdate(&device, file_, sent);
        return {outcome, adapter.Log(), device.Unplugged()};
    }

    testing::TempDir dir_;
    FirmwareImage image_;
    FirmwareImage sent_{};
    std::string file_;
    QuillonAdapter adapter_;
    testing::AdapterDevice device_{adapter_};
    std::vector<int> blocksSeen_;
};

TEST(BlockChecksumTest, CheckValues) {
    EXPECT_EQ(BlockChecksum(reinterpret_cast<const uint8_t*>("abc"), 3), 0x638E);
    const std::vector<uint8_t> zeros(512, 0x00), ones(512, 0xFF);
    EXPECT_EQ(BlockChecksum(zeros.data(), zeros.size()), 0x0000);
    EXPECT_EQ(BlockChecksum(ones.data(), ones.size()), 0x3776);
    const uint8_t one = 0x01;
    EXPECT_EQ(BlockChecksum(&one, 1), 0x2042);
}

TEST_F(UpdateTest, SuccessfulRunSendsTheWholeSequenceAndWritesTheFlash) {
    const UpdateOutcome outcome = Run();
    EXPECT_EQ(outcome.Result, UpdateResult::Ready);
    EXPECT_EQ(outcome.Message, "ready");
    const std::vector<Transfer> log = adapter_.Log();
    ASSERT_EQ(log.size(), size_t(kTransfersPerUpdate));
    EXPECT_EQ(log, testing::SuccessfulUpdateLog(image_));
    EXPECT_EQ(sent_, image_);

    const std::vector<uint8_t> flash = adapter_.Flash();
    EXPECT_TRUE(std::equal(image_.begin(), image_.end(), flash.begin() + kImageBase));
    EXPECT_TRUE(std::all_of(flash.begin(), flash.begin() + kImageBase,
                            [](uint8_t b) { return b == QuillonAdapter::kOldFirmwareByte; }));
    EXPECT_FALSE(adapter_.InUpdateMode());
    EXPECT_EQ(blocksSeen_.size(), 20u);
}

TEST_F(UpdateTest, LastDataReportOfEveryBlockCarriesEightImageBytes) {
    Run();
    const std::vector<Transfer> log = adapter_.Log();
    ASSERT_EQ(log.size(), size_t(kTransfersPerUpdate));
    for (int b = 0; b < kBlockCount; ++b) {
        const Transfer& last = log[BlockStart(b) + 13];
        ASSERT_EQ(last.Length, 64u);
        EXPECT_EQ(last.Bytes[0], 0x03);
        for (size_t i = 0; i < 8; ++i) {
            EXPECT_EQ(last.Bytes[1 + i], image_[512 * b + 504 + i]);
        }
        EXPECT_TRUE(std::all_of(last.Bytes.begin() + 9, last.Bytes.end(),
                                [](uint8_t v) { return v == 0xFF; }));
    }
}

TEST_F(UpdateTest, EveryFailingTransferEndsTheRunWithItsCode) {
    for (size_t k = 0; k < size_t(kTransfersPerUpdate); ++k) {
        const auto [outcome, log, unplugged] =
            RunOnBrokenAdapter([k](QuillonAdapter& adapter) { adapter.FailTransfer(k); });
        const UpdateResult code = CodeWhenTransferFails(k);
        ASSERT_EQ(outcome.Result, code) << "transfer " << k;
        EXPECT_EQ(outcome.Message, UpdateMessage(code)) << "transfer " << k;

        const std::vector<Transfer> expected = testing::SuccessfulUpdateLog(image_);
        ASSERT_GT(log.size(), k);
        EXPECT_TRUE(std::equal(expected.begin(), expected.begin() + k, log.begin()));
        EXPECT_FALSE(log[k].Ok);
        if (k < kFinishCommand) {
            const std::vector<Transfer> after(log.begin() + k + 1, log.end());
            const std::vector<Transfer> finish = {Command(0x06, 0), StatusRead()};
            ASSERT_EQ(after, finish) << "transfer " << k;
        } else {
            EXPECT_EQ(log.size(), k == kFinishCommand ? 322u : 323u);
        }
    }
}

TEST_F(UpdateTest, AdapterUnpluggedAtAnyTransferEndsTheRunWithItsCode) {
    for (size_t k = 0; k < size_t(kTransfersPerUpdate); ++k) {
        const auto [outcome, log, unplugged] =
            RunOnBrokenAdapter([k](QuillonAdapter& adapter) { adapter.UnplugAtTransfer(k); });
        ASSERT_EQ(outcome.Result, CodeWhenTransferFails(k)) << "transfer " << k;
        EXPECT_TRUE(unplugged);
        ASSERT_EQ(log.size(), k + 1) << "nothing reaches an adapter that is gone";
        EXPECT_FALSE(log.back().Ok);
    }
}

TEST_F(UpdateTest, WrongChecksumOfBlockFiveStopsBeforeBlockSix) {
    adapter_.AnswerWrongChecksum(15);
    const UpdateOutcome outcome = Run();
    EXPECT_EQ(outcome.Result, UpdateResult::ChecksumError);
    EXPECT_EQ(outcome.Message, "CRC Error during flash write");
    const std::vector<Transfer> log = adapter_.Log();
    const size_t checksumRead = BlockStart(5) + 15;
    ASSERT_EQ(log.size(), checksumRead + 3);
    EXPECT_TRUE(log[checksumRead].Ok);
    EXPECT_EQ(log[checksumRead + 1], Command(0x06, 0));
    // Progress still runs to the last block.
    EXPECT_EQ(blocksSeen_.size(), 20u);
    EXPECT_EQ(blocksSeen_.back(), 19);
}

TEST_F(UpdateTest, StatusBytesDecideTheOutcome) {
    // The window's code and text follow the status; for everyone else it is the adapter
    // refusing the block, whatever text the window borrows for it.
    struct Case {
        uint8_t status;
        int code;
        std::string message;
    };
    const std::vector<Case> cases = {
        {2, 1, "ERROR: File not found!"},
        {3, 2, "ACCESS ERROR"},
        {6, 5, "CRC Error during flash write"},
        {0, 6, "ERROR: the adapter answered with the unknown status 0"},
        {7, 6, "ERROR: the adapter answered with the unknown status 7"},
        {255, 6, "ERROR: the adapter answered with the unknown status 255"},
    };
    for (const Case& c : cases) {
        const auto [outcome, log, unplugged] = RunOnBrokenAdapter([&c](QuillonAdapter& adapter) {
            // The second block command of block 2 (device block 12).
            adapter.AnswerStatus(0x02, c.status, 12);
        });
        EXPECT_EQ(outcome.Result, UpdateResult::AdapterRefused) << int(c.status);
        EXPECT_EQ(outcome.WindowCode(), c.code) << int(c.status);
        EXPECT_EQ(outcome.Message, c.message);
        EXPECT_EQ(outcome.Words,
                  "the adapter refused block 3 of 20 (status " + std::to_string(c.status) + ")");
        const size_t statusRead = BlockStart(2) + 3;
        ASSERT_EQ(log.size(), statusRead + 3) << int(c.status);
        EXPECT_EQ(log[statusRead], StatusRead(c.status));
        EXPECT_EQ(log[statusRead + 1], Command(0x06, 0));
    }
}

TEST_F(UpdateTest, StatusOfTheFinishCommandIsIgnored) {
    adapter_.AnswerStatus(0x06, 0);
    EXPECT_EQ(Run().Result, UpdateResult::Ready);
}

TEST_F(UpdateTest, MissingFileSendsOnlyTheFinishCommand) {
    const UpdateOutcome outcome = Run(&device_, dir_.PathOf("missing.hex"));
    EXPECT_EQ(outcome.Result, UpdateResult::FileError);
    EXPECT_EQ(outcome.Message, "ERROR: File not found!");
    EXPECT_EQ(adapter_.Log(), (std::vector<Transfer>{Command(0x06, 0), StatusRead()}));
    EXPECT_TRUE(blocksSeen_.empty());
}

TEST_F(UpdateTest, RefusedFileSendsOnlyTheFinishCommand) {
    const std::string bad = dir_.Write("bad.hex", "\n:0414000001020304E0\n:00000001FF\n");
    const UpdateOutcome outcome = Run(&device_, bad);
    EXPECT_EQ(outcome.Result, UpdateResult::FileError);
    EXPECT_EQ(outcome.Message,
              "ERROR: invalid update file, line 2: wrong checksum E0, the record's bytes give DE");
    EXPECT_EQ(adapter_.Log(), (std::vector<Transfer>{Command(0x06, 0), StatusRead()}));
    EXPECT_EQ(adapter_.Flash(), QuillonAdapter().Flash());
}

TEST_F(UpdateTest, NoDevice) {
    UpdateOutcome outcome = Run(nullptr, file_);
    EXPECT_EQ(outcome.Result, UpdateResult::AccessError);
    EXPECT_EQ(outcome.Message, "ACCESS ERROR");
    outcome = Run(nullptr, dir_.PathOf("missing.hex"));
    EXPECT_EQ(outcome.Result, UpdateResult::FileError);
    EXPECT_EQ(outcome.Message, "ERROR: File not found!");
    EXPECT_EQ(adapter_.TransferCount(), 0u);
}

TEST_F(UpdateTest, ErasedImageIsSentInFull) {
    image_.fill(0xFF);
    const std::string empty = dir_.Write("erased.hex", testing::HexFileFor(image_));
    const UpdateOutcome outcome = Run(&device_, empty);
    EXPECT_EQ(outcome.Result, UpdateResult::Ready);
    const std::vector<Transfer> log = adapter_.Log();
    EXPECT_EQ(log, testing::SuccessfulUpdateLog(image_));
    for (int b = 0; b < kBlockCount; ++b) {
        EXPECT_EQ(log[BlockStart(b) + 15].Bytes, (std::vector<uint8_t>{0x04, 0x76, 0x37}));
    }
    const std::vector<uint8_t> flash = adapter_.Flash();
    EXPECT_TRUE(std::all_of(flash.begin() + kImageBase, flash.begin() + kImageBase + kImageSize,
                            [](uint8_t b) { return b == 0xFF; }));
}

TEST_F(UpdateTest, StepsReportTheirOwnCodes) {
    TUpdateProtocol protocol(&device_, image_);
    EXPECT_EQ(protocol.SendStart(), UpdateResult::Ready);
    EXPECT_EQ(protocol.CommandStep(0x01, 10), UpdateResult::Ready);
    // The adapter refuses a block that belongs to its boot loader.
    EXPECT_EQ(protocol.CommandStep(0x01, 3), UpdateResult::AdapterRefused);
    EXPECT_EQ(protocol.LastStatus(), 3);
    adapter_.FailTransfer(adapter_.TransferCount() + 1);  // the status read
    EXPECT_EQ(protocol.CommandStep(0x01, 10), UpdateResult::GetReportError);
    adapter_.FailTransfer(adapter_.TransferCount() + 1);  // the checksum read
    EXPECT_EQ(protocol.VerifyBlock(0), UpdateResult::GetReportError);
    TUpdateProtocol noDevice(nullptr, image_);
    EXPECT_EQ(noDevice.CommandStep(0x01, 10), UpdateResult::AccessError);
    EXPECT_EQ(noDevice.SendBlockData(0), UpdateResult::AccessError);
    EXPECT_EQ(noDevice.VerifyBlock(0), UpdateResult::AccessError);
}

TEST_F(UpdateTest, SlowAdapterGivesTheSameResult) {
    adapter_.SetTransferDelay(std::chrono::microseconds(50));
    EXPECT_EQ(Run().Result, UpdateResult::Ready);
    EXPECT_EQ(adapter_.Log(), testing::SuccessfulUpdateLog(image_));
}

}  // namespace
}  // namespace quillon::firmware
