#pragma once

#include <QObject>
#include <map>
#include <memory>

#include "base/EventLoop.h"

#ifdef _WIN32
class QWinEventNotifier;
#else
class QSocketNotifier;
#endif

namespace quillon {

// The HID layer's event loop in the program: Qt's loop of the thread that creates this object
// (the GUI thread).
class QtEventLoop : public IEventLoop {
  public:
    QtEventLoop();
    ~QtEventLoop() override;

    QtEventLoop(const QtEventLoop&) = delete;
    QtEventLoop& operator=(const QtEventLoop&) = delete;

    void Post(Task task) override;
    int WatchReadable(WaitableHandle fd, Task onReadable) override;
    void Unwatch(int watchId) override;

  private:
    // What watches a source: a waitable object on Windows, a descriptor elsewhere.
#ifdef _WIN32
    using Notifier = QWinEventNotifier;
#else
    using Notifier = QSocketNotifier;
#endif

    // Receiver of the posted tasks; tasks still queued when it goes are dropped.
    std::unique_ptr<QObject> Context;
    std::map<int, Notifier*> Watches;
    int NextWatchId = 1;
};

}  // namespace quillon
