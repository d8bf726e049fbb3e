#pragma once

#include <functional>

namespace quillon {

// What the owning thread can wait on: a file descriptor on POSIX systems, a waitable object
// (an event, a waitable timer) on Windows.
#ifdef _WIN32
using WaitableHandle = void*;
#else
using WaitableHandle = int;
#endif

// The HID layer's only contact with the event loop of the thread that owns it (the GUI thread
// in the program). The program implements it with Qt; tests and the command-line tool use a
// plain loop. Keeping the layer behind this seam keeps it free of any GUI toolkit.
class IEventLoop {
  public:
    using Task = std::function<void()>;

    virtual ~IEventLoop() = default;

    // Queues a task to run on the owning thread, after the tasks queued before it.
    // Safe to call from any thread.
    virtual void Post(Task task) = 0;

    // Owning thread only: runs onReadable on the owning thread whenever source has data to read
    // (a descriptor) or is signalled (a Windows object; waiting resets an auto-reset event),
    // until Unwatch. Used for the platform's device-change notifications.
    virtual int WatchReadable(WaitableHandle source, Task onReadable) = 0;
    virtual void Unwatch(int watchId) = 0;
};

}  // namespace quillon
