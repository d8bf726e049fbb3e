#include "hid/HidDeviceReadThread.h"

#include <algorithm>
#include <chrono>

#include "hid/HidDevice.h"

namespace quillon {

THidDeviceReadThread::THidDeviceReadThread(THidDevice& device, uint16_t inputReportByteLength,
                                           IEventLoop& loop)
    : device_(device), handover_(TSyncHandover::Create(loop)), readBuffer_(inputReportByteLength) {}

THidDeviceReadThread::~THidDeviceReadThread() {
    Stop();
}

void THidDeviceReadThread::Start() {
    if (!thread_.joinable()) {
        thread_ = std::thread([this] { Run(); });
    }
}

void THidDeviceReadThread::Stop() {
    if (!thread_.joinable()) {
        return;
    }
    RequestStop();
    handover_->ServeUntilFinished();
    thread_.join();
}

void THidDeviceReadThread::RequestStop() {
    stopRequested_.store(true);
    {
        std::lock_guard lock(mutex_);
        if (currentHandle_ != nullptr) {
            currentHandle_->WakeWait();
        }
    }
    stopSignal_.notify_all();
}

void THidDeviceReadThread::SetCurrentHandle(std::shared_ptr<IHidHandle> handle) {
    std::lock_guard lock(mutex_);
    currentHandle_ = std::move(handle);
}

bool THidDeviceReadThread::PauseOneSlice() {
    std::unique_lock lock(mutex_);
    // Asked to stop during a hand-over, the device may be gone already: do not ask it for the
    // slice.
    if (stopRequested_.load()) {
        return true;
    }
    return stopSignal_.wait_for(lock, std::chrono::milliseconds(device_.ReaderSleepTime()),
                                [this] { return stopRequested_.load(); });
}

void THidDeviceReadThread::Run() {
    while (!stopRequested_.load()) {
        std::fill(readBuffer_.begin(), readBuffer_.end(), uint8_t{0});
        HidResult<std::shared_ptr<IHidHandle>> acquired = device_.AcquireReadHandle();
        if (!acquired) {
            // The read could not even be started (typically: the device is gone and waits for
            // its holder to release it). Report it, then wait a slice rather than retry at once,
            // which would flood the owning thread with errors.
            lastFailure_ = acquired.Error();
            handover_->Run([this] { device_.DeliverError(lastFailure_); });
            PauseOneSlice();
            continue;
        }
        std::shared_ptr<IHidHandle> handle = std::move(*acquired);
        SetCurrentHandle(handle);
        // A stop requested before the handle was published could not wake it; look again.
        if (stopRequested_.load()) {
            SetCurrentHandle(nullptr);
            break;
        }

        HidResult<HidWaitResult> waited = HidWaitResult::Timeout;
        while (waited && *waited == HidWaitResult::Timeout && !stopRequested_.load()) {
            waited = handle->WaitInput(device_.ReaderSleepTime());
        }
        bool failed = !waited;
        if (waited && *waited == HidWaitResult::Ready && !stopRequested_.load()) {
            const HidResult<size_t> count = handle->ReadInput(readBuffer_);
            failed = !count;
            bytesRead_ = count ? *count : 0;
            if (bytesRead_ > 0) {
                handover_->Run(
                    [this] { device_.DeliverReport(std::span(readBuffer_).first(bytesRead_)); });
            }
        }
        SetCurrentHandle(nullptr);
        if (failed) {
            // A read that ends in failure delivers nothing. The handle is likely broken (device
            // pulled before any scan noticed): let the next attempt reopen it, after a pause so
            // that a handle failing at once does not spin.
            device_.DiscardReadHandle(handle);
            handle.reset();
            PauseOneSlice();
        }
        // Woken: the device was unplugged (its handle taken away) or a stop was requested; the
        // loop test and the next attempt sort out which.
    }
    handover_->MarkFinished();
}

}  // namespace quillon
