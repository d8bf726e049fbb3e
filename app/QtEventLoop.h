#pragma once

#include <QObject>
#include <map>
#include <memory>

#include "hid/EventLoop.h"

class QSocketNotifier;

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
    // Receiver of the posted tasks; tasks still queued when it goes are dropped.
    std::unique_ptr<QObject> Context;
    std::map<int, QSocketNotifier*> Watches;
    int NextWatchId = 1;
};

}  // namespace quillon
