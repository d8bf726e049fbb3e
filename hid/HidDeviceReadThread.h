#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "base/EventLoop.h"
#include "base/SyncHandover.h"
#include "hid/HidPlatform.h"

namespace quillon {

class THidDevice;

// The background reader of one checked-out device. It waits for an input report in slices of
// the device's ReaderSleepTime, so that a stop request is seen within one slice, and hands every
// report and every failed read synchronously to the thread that owns the device, in arrival
// order. The device starts and stops it; nothing else touches it.
class THidDeviceReadThread {
  public:
    // On the owning thread; the thread itself starts with Start.
    THidDeviceReadThread(THidDevice& device, uint16_t inputReportByteLength, IEventLoop& loop);
    THidDeviceReadThread(const THidDeviceReadThread&) = delete;
    THidDeviceReadThread& operator=(const THidDeviceReadThread&) = delete;
    ~THidDeviceReadThread();

    void Start();
    // Owning thread: asks the reader to stop, wakes it, and serves its hand-overs until it has
    // ended. Returns once the thread is gone.
    void Stop();
    // Owning thread: asks the reader to stop and wakes it, without waiting. Once it has been
    // asked, the reader touches its device no more; Stop still has to end the thread.
    void RequestStop();

  private:
    void Run();
    // Waits one slice or until a stop is requested; true when a stop was requested.
    bool PauseOneSlice();
    void SetCurrentHandle(std::shared_ptr<IHidHandle> handle);

    THidDevice& device_;
    std::shared_ptr<TSyncHandover> handover_;
    std::thread thread_;
    std::atomic<bool> stopRequested_{false};

    // Reader thread only, and the hand-over calls that run while it is blocked in them.
    HidFailure lastFailure_;  // of the last read that could not be started
    size_t bytesRead_ = 0;
    std::vector<uint8_t> readBuffer_;

    std::mutex mutex_;  // guards the handle being waited on and wakes a paused reader
    std::condition_variable stopSignal_;
    std::shared_ptr<IHidHandle> currentHandle_;
};

}  // namespace quillon
