#include <gtest/gtest.h>

#include <thread>

#include "hid/AccessAdvice.h"
#include "hid/windows/WindowsHidPlatform.h"
#include "hid/windows/tests/FakeHidStack.h"

namespace quillon::winhid::test {
namespace {

constexpr int kDeadlineMs = 10000;

class WindowsHidPlatformTest : public ::testing::Test {
  protected:
    WindowsHidPlatformTest() {
        Add(L"\\\\?\\hid#vid_169b&pid_0110#adapter", 11);
        Add(L"\\\\?\\hid#vid_169b&pid_0110#gone", 12).Vanished = true;
        Add(L"\\\\?\\hid#vid_045e&pid_0001#keyboard", 13).RefuseReadWrite = true;
        platform_ = CreateWindowsHidPlatform(stack_.Functions());
    }

    FakeHidStack::Interface& Add(const std::wstring& path, DWORD devInst) {
        FakeHidStack::Interface& entry = stack_.Interfaces.emplace_back();
        entry.Path = path;
        entry.DevInst = devInst;
        return entry;
    }

    std::string PathOf(size_t index) const {
        const std::wstring& path = stack_.Interfaces[index].Path;
        return std::string(path.begin(), path.end());
    }

    FakeHidStack stack_;
    std::unique_ptr<IHidPlatform> platform_;
};

TEST_F(WindowsHidPlatformTest, VanishedInterfacesAreSkippedAndRefusedOnesOpenForQueries) {
    const std::vector<THidPnPInfo> present = platform_->PresentInterfaces();
    ASSERT_EQ(present.size(), 2u);
    EXPECT_EQ(present[0].InterfacePath, PathOf(0));
    EXPECT_EQ(present[0].InstanceHandle, 11u);
    EXPECT_EQ(present[1].InterfacePath, PathOf(2));
    EXPECT_EQ(present[1].InstanceHandle, 13u);

    // The system holds the keyboard: no read/write, and the user hears why.
    EXPECT_EQ(platform_->Open(PathOf(2), HidAccess::ReadWrite), nullptr);
    EXPECT_EQ(platform_->LastError(), uint32_t(ERROR_ACCESS_DENIED));
    EXPECT_TRUE(IsAccessRefusal(platform_->LastError()));
    EXPECT_FALSE(platform_->ErrorMessage(ERROR_ACCESS_DENIED).empty());

    // Queries still work, strings come as UTF-16, and feature requests are refused.
    auto query = platform_->Open(PathOf(2), HidAccess::QueryOnly);
    ASSERT_NE(query, nullptr);
    const auto identity = query->GetAttributes();
    ASSERT_TRUE(identity);
    EXPECT_EQ(identity->VersionNumber, 0x010D);
    EXPECT_EQ(query->GetManufacturerString(), u"Morvane \u00e9");
    EXPECT_EQ(query->GetProductString(), std::nullopt);
    uint8_t report[4] = {6, 0, 0, 0};
    EXPECT_FALSE(query->SetFeature(report));
    EXPECT_EQ(platform_->LastError(), uint32_t(ERROR_ACCESS_DENIED));
    EXPECT_TRUE(stack_.Interfaces[2].LastFeatureWritten.empty());
}

TEST_F(WindowsHidPlatformTest, FeatureReportsTravelInBuffersOfExactlyTheFeatureLength) {
    auto handle = platform_->Open(PathOf(0), HidAccess::ReadWrite);
    ASSERT_NE(handle, nullptr);
    const auto caps = handle->GetCaps();
    ASSERT_TRUE(caps);
    EXPECT_EQ(caps->FeatureReportByteLength, 65);
    EXPECT_EQ(caps->InputReportByteLength, 9);

    // Shorter: the reply is cut to what was asked for, nothing written past it.
    uint8_t shortReply[14] = {3};
    shortReply[13] = 0xEE;
    ASSERT_TRUE(handle->GetFeature(std::span(shortReply).first(13)));
    EXPECT_EQ(stack_.Interfaces[0].LastFeatureRequestLength, 65u);
    EXPECT_EQ(shortReply[0], 3);
    EXPECT_EQ(shortReply[12], 12);
    EXPECT_EQ(shortReply[13], 0xEE);

    // Shorter writes are padded with zeros, longer ones cut.
    const uint8_t reset[4] = {6, 1, 2, 3};
    ASSERT_TRUE(handle->SetFeature(reset));
    std::vector<uint8_t> expected(65, 0);
    std::copy(reset, reset + 4, expected.begin());
    EXPECT_EQ(stack_.Interfaces[0].LastFeatureWritten, expected);
    std::vector<uint8_t> tooLong(70, 0x55);
    ASSERT_TRUE(handle->SetFeature(tooLong));
    EXPECT_EQ(stack_.Interfaces[0].LastFeatureWritten, std::vector<uint8_t>(65, 0x55));
}

TEST_F(WindowsHidPlatformTest, OverlappedReadIsWokenDeliveredAndCancelledBeforeTheHandleCloses) {
    auto handle = platform_->Open(PathOf(0), HidAccess::Read);
    ASSERT_NE(handle, nullptr);
    EXPECT_EQ(handle->WaitInput(0), HidWaitResult::Timeout);
    ASSERT_TRUE(stack_.ReadPending());

    std::thread waker([&] { handle->WakeWait(); });
    EXPECT_EQ(handle->WaitInput(kDeadlineMs), HidWaitResult::Woken);
    waker.join();
    EXPECT_TRUE(stack_.ReadPending());  // a wake-up leaves the read outstanding

    stack_.CompleteRead({1, 10, 11, 12, 13, 14, 15, 16, 17});
    ASSERT_EQ(handle->WaitInput(kDeadlineMs), HidWaitResult::Ready);
    uint8_t report[9] = {};
    ASSERT_EQ(handle->ReadInput(report), 9);
    EXPECT_EQ(report[0], 1);
    EXPECT_EQ(report[8], 17);

    EXPECT_EQ(handle->WaitInput(0), HidWaitResult::Timeout);  // the next read is outstanding
    handle.reset();
    EXPECT_EQ(stack_.Calls(), (std::vector<std::string>{"read", "read", "cancel", "close"}));
}

TEST_F(WindowsHidPlatformTest, UnplugDuringAReadEndsItAsDeviceGone) {
    auto handle = platform_->Open(PathOf(0), HidAccess::Read);
    ASSERT_NE(handle, nullptr);
    EXPECT_EQ(handle->WaitInput(0), HidWaitResult::Timeout);

    // What Wine answers once the device is gone.
    std::thread unplug([&] { stack_.FailRead(ERROR_ACCESS_DENIED); });
    EXPECT_EQ(handle->WaitInput(kDeadlineMs), HidWaitResult::Failed);
    unplug.join();
    EXPECT_EQ(platform_->LastError(), uint32_t(ERROR_DEVICE_NOT_CONNECTED));
    EXPECT_FALSE(IsAccessRefusal(platform_->LastError()));

    handle.reset();  // the read has ended: nothing to cancel
    EXPECT_EQ(stack_.Calls(), (std::vector<std::string>{"read", "close"}));
}

// Exclusive use goes through a named object of the system, so it holds between handles of
// one program as between programs.
TEST_F(WindowsHidPlatformTest, ExclusiveUseIsRefusedToAnotherHandleUntilReleased) {
    auto first = platform_->Open(PathOf(0), HidAccess::ReadWrite);
    auto second = platform_->Open(PathOf(0), HidAccess::ReadWrite);
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    ASSERT_EQ(first->TryLockExclusive(), HidLockResult::Held);
    EXPECT_EQ(first->TryLockExclusive(), HidLockResult::Held);  // asking again keeps it
    EXPECT_EQ(second->TryLockExclusive(), HidLockResult::Busy);

    first->Unlock();
    ASSERT_EQ(second->TryLockExclusive(), HidLockResult::Held);
    EXPECT_EQ(first->TryLockExclusive(), HidLockResult::Busy);
    // A handle that goes while holding it lets the device go with it.
    second.reset();
    EXPECT_EQ(first->TryLockExclusive(), HidLockResult::Held);
}

}  // namespace
}  // namespace quillon::winhid::test
