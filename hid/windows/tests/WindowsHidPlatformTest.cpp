#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <thread>

#include "base/PlainEventLoop.h"
#include "base/windows/WideText.h"
#include "hid/AccessAdvice.h"
#include "hid/HidDevice.h"
#include "hid/HidDeviceController.h"
#include "hid/windows/Win32Failure.h"
#include "hid/windows/WindowsHidPlatform.h"
#include "hid/windows/tests/FakeHidStack.h"

namespace quillon::winhid::test {
namespace {

constexpr int kDeadlineMs = 10000;

// The system's own text for a Win32 code, asked here without the backend.
std::string SystemText(DWORD code) {
    wchar_t text[512] = {};
    const DWORD length = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                        nullptr, code, 0, text, 512, nullptr);
    std::string message = Utf8(text, length);
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r' ||
                                message.back() == '.' || message.back() == ' ')) {
        message.pop_back();
    }
    return message;
}

template <class T>
std::unique_ptr<IHidHandle> Opened(HidResult<T> opened) {
    return opened ? std::move(*opened) : nullptr;
}

class WindowsHidPlatformTest : public ::testing::Test {
  protected:
    WindowsHidPlatformTest() {
        Add(L"\\\\?\\hid#vid_169b&pid_0110#adapter", 11).Location = L"Port_#0001.Hub_#0002";
        Add(L"\\\\?\\hid#vid_169b&pid_0110#gone", 12).Vanished = true;
        FakeHidStack::Interface& keyboard = Add(L"\\\\?\\hid#vid_045e&pid_0001#keyboard", 13);
        keyboard.RefuseReadWrite = true;
        // The HID node has no location; the USB device two levels up has.
        keyboard.ParentId = L"USB\\VID_045E&PID_0001&MI_00\\6&1";
        stack_.Parents.push_back({keyboard.ParentId, 21, L"", L"USB\\VID_045E&PID_0001\\5&2"});
        stack_.Parents.push_back(
            {L"USB\\VID_045E&PID_0001\\5&2", 22, L"Port_#0003.Hub_#0001", L""});
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
    EXPECT_EQ(present[0].Location, "Port_#0001.Hub_#0002");
    EXPECT_EQ(present[1].InterfacePath, PathOf(2));
    EXPECT_EQ(present[1].InstanceHandle, 13u);
    EXPECT_EQ(present[1].Location, "Port_#0003.Hub_#0001");

    // The system holds the keyboard: no read/write, and the user hears why, in the system's
    // words for the system's code.
    const auto refused = platform_->Open(PathOf(2), HidAccess::ReadWrite);
    ASSERT_FALSE(refused);
    EXPECT_EQ(refused.Error().Error.NativeCode, uint32_t(ERROR_ACCESS_DENIED));
    EXPECT_TRUE(IsAccessRefusal(refused.Error()));
    EXPECT_EQ(refused.Error().Message, SystemText(ERROR_ACCESS_DENIED));
    EXPECT_FALSE(refused.Error().Message.empty());

    // Queries still work, strings come as UTF-16, and feature requests are refused.
    auto query = Opened(platform_->Open(PathOf(2), HidAccess::QueryOnly));
    ASSERT_NE(query, nullptr);
    const auto identity = query->GetAttributes();
    ASSERT_TRUE(identity);
    EXPECT_EQ(identity->VersionNumber, 0x010D);
    EXPECT_EQ(*query->GetManufacturerString(), u"Morvane \u00e9");
    const auto product = query->GetProductString();
    ASSERT_FALSE(product);
    EXPECT_EQ(product.Error().Error.NativeCode, uint32_t(ERROR_GEN_FAILURE));
    EXPECT_EQ(product.Error().Message, SystemText(ERROR_GEN_FAILURE));
    uint8_t report[4] = {6, 0, 0, 0};
    const HidResult<> set = query->SetFeature(report);
    ASSERT_FALSE(set);
    EXPECT_EQ(set.Error().Error.NativeCode, uint32_t(ERROR_ACCESS_DENIED));
    EXPECT_TRUE(stack_.Interfaces[2].LastFeatureWritten.empty());
}

// Win32 codes are sorted by what they are, never taken for errno values: 13 is
// ERROR_INVALID_DATA here, not EACCES.
TEST_F(WindowsHidPlatformTest, Win32CodesAreSortedAsWin32Codes) {
    EXPECT_EQ(Win32Kind(ERROR_INVALID_DATA), HidErrorKind::TransferFailed);
    EXPECT_EQ(Win32Kind(ERROR_SHARING_VIOLATION), HidErrorKind::NoPermission);
    EXPECT_EQ(Win32Kind(ERROR_DEVICE_NOT_CONNECTED), HidErrorKind::Gone);
    EXPECT_EQ(Win32Kind(ERROR_FILE_NOT_FOUND), HidErrorKind::Gone);
    EXPECT_EQ(Win32Kind(ERROR_NOT_SUPPORTED), HidErrorKind::Unsupported);
    EXPECT_FALSE(IsAccessRefusal(Win32Failure(ERROR_INVALID_DATA)));
    EXPECT_EQ(Win32Failure(ERROR_INVALID_DATA).Message, SystemText(ERROR_INVALID_DATA));
}

TEST_F(WindowsHidPlatformTest, FeatureReportsTravelInBuffersOfExactlyTheFeatureLength) {
    auto handle = Opened(platform_->Open(PathOf(0), HidAccess::ReadWrite));
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
    auto handle = Opened(platform_->Open(PathOf(0), HidAccess::Read));
    ASSERT_NE(handle, nullptr);
    EXPECT_EQ(*handle->WaitInput(0), HidWaitResult::Timeout);
    ASSERT_TRUE(stack_.ReadPending());

    std::thread waker([&] { handle->WakeWait(); });
    EXPECT_EQ(*handle->WaitInput(kDeadlineMs), HidWaitResult::Woken);
    waker.join();
    EXPECT_TRUE(stack_.ReadPending());  // a wake-up leaves the read outstanding

    stack_.CompleteRead({1, 10, 11, 12, 13, 14, 15, 16, 17});
    ASSERT_EQ(*handle->WaitInput(kDeadlineMs), HidWaitResult::Ready);
    uint8_t report[9] = {};
    ASSERT_EQ(*handle->ReadInput(report), 9u);
    EXPECT_EQ(report[0], 1);
    EXPECT_EQ(report[8], 17);

    EXPECT_EQ(*handle->WaitInput(0), HidWaitResult::Timeout);  // the next read is outstanding
    handle.reset();
    EXPECT_EQ(stack_.Calls(), (std::vector<std::string>{"read", "read", "cancel", "close"}));
}

TEST_F(WindowsHidPlatformTest, UnplugDuringAReadEndsItAsDeviceGone) {
    auto handle = Opened(platform_->Open(PathOf(0), HidAccess::Read));
    ASSERT_NE(handle, nullptr);
    EXPECT_EQ(*handle->WaitInput(0), HidWaitResult::Timeout);

    // What Wine answers once the device is gone.
    std::thread unplug([&] { stack_.FailRead(ERROR_ACCESS_DENIED); });
    const auto waited = handle->WaitInput(kDeadlineMs);
    unplug.join();
    ASSERT_FALSE(waited);
    EXPECT_EQ(waited.Error().Error.NativeCode, uint32_t(ERROR_DEVICE_NOT_CONNECTED));
    EXPECT_EQ(waited.Error().Error.Kind, HidErrorKind::Gone);
    EXPECT_FALSE(IsAccessRefusal(waited.Error()));

    handle.reset();  // the read has ended: nothing to cancel
    EXPECT_EQ(stack_.Calls(), (std::vector<std::string>{"read", "close"}));
}

// Exclusive use goes through a named object of the system, so it holds between handles of
// one program as between programs.
TEST_F(WindowsHidPlatformTest, ExclusiveUseIsRefusedToAnotherHandleUntilReleased) {
    auto first = Opened(platform_->Open(PathOf(0), HidAccess::ReadWrite));
    auto second = Opened(platform_->Open(PathOf(0), HidAccess::ReadWrite));
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    ASSERT_TRUE(first->TryLockExclusive());
    EXPECT_TRUE(first->TryLockExclusive());  // asking again keeps it
    const HidResult<> busy = second->TryLockExclusive();
    ASSERT_FALSE(busy);
    EXPECT_EQ(busy.Error().Error.Kind, HidErrorKind::Busy);

    first->Unlock();
    ASSERT_TRUE(second->TryLockExclusive());
    EXPECT_FALSE(first->TryLockExclusive());
    // A handle that goes while holding it lets the device go with it.
    second.reset();
    EXPECT_TRUE(first->TryLockExclusive());
}

struct ReadErrors {
    void Data(THidDevice*, uint8_t, std::span<const uint8_t>) {}
    void DataError(THidDevice*, const HidFailure& error) { errors.push_back(error); }
    std::vector<HidFailure> errors;
};

// What the raw-report page and the monitor show as "READ ERROR: " comes with the device: the
// Win32 error and the system's text for it, never an errno value worded as a Win32 code (ENODEV
// would read "The media is write protected").
TEST_F(WindowsHidPlatformTest, ReaderLosingItsDeviceReportsTheWin32ErrorsText) {
    PlainEventLoop loop;
    ReadErrors rec;
    THidDeviceController controller(*platform_, loop);
    controller.SetOnDeviceData(MakeHandler<&ReadErrors::Data>(&rec));
    controller.SetOnDeviceDataError(MakeHandler<&ReadErrors::DataError>(&rec));
    controller.SetDevThreadSleepTime(THidDevice::kMinReaderSleepTime);
    loop.RunPending();
    THidDevice* checkedOut = nullptr;
    ASSERT_TRUE(controller.CheckOutAt(checkedOut, 0));
    const std::unique_ptr<THidDevice> device(checkedOut);
    ASSERT_TRUE(device->HasReader());
    const auto deadline = std::chrono::milliseconds(kDeadlineMs);
    ASSERT_TRUE(loop.RunUntil([&] { return stack_.ReadPending(); }, deadline));

    // Pulled: the outstanding read fails as under Wine, and the path opens no more.
    stack_.Interfaces[0].Vanished = true;
    stack_.FailRead(ERROR_ACCESS_DENIED);
    // Its reopening fails (ERROR_FILE_NOT_FOUND), unless the backend's watch was quicker.
    ASSERT_TRUE(loop.RunUntil([&] { return !rec.errors.empty(); }, deadline));

    // Once a scan has noticed, the device answers for itself, in the backend's words.
    controller.DeviceChange();
    ASSERT_FALSE(device->Attached());
    const size_t before = rec.errors.size();
    ASSERT_TRUE(loop.RunUntil([&] { return rec.errors.size() > before; }, deadline));
    EXPECT_EQ(rec.errors.back().Error.NativeCode, uint32_t(ERROR_DEVICE_NOT_CONNECTED));
    for (const HidFailure& error : rec.errors) {
        EXPECT_EQ(error.Error.Kind, HidErrorKind::Gone);
        EXPECT_EQ(error.Message, SystemText(error.Error.NativeCode));
        EXPECT_NE(error.Message, SystemText(ENODEV));
        EXPECT_NE(error.Message, SystemText(EIO));
    }
}

}  // namespace
}  // namespace quillon::winhid::test
