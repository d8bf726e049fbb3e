#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>

#include "base/EventLoop.h"

namespace quillon {

// Synchronous hand-over of calls from a worker thread to the thread that owns an event loop.
// The worker queues a call and blocks until the owning thread has run it. The owning thread runs
// queued calls from a task posted to its loop, and also while it waits for the worker to end
// (ServeUntilFinished): a worker blocked in a hand-over could otherwise never see a stop request.
// Calls run in the order they were handed over.
class TSyncHandover : public std::enable_shared_from_this<TSyncHandover> {
  public:
    static std::shared_ptr<TSyncHandover> Create(IEventLoop& loop);

    // Worker thread: runs call on the owning thread and returns once it has run.
    void Run(std::function<void()> call);

    // Owning thread: runs every call queued so far.
    void Drain();

    // Worker thread, as its very last act: lets ServeUntilFinished return.
    void MarkFinished();

    // Owning thread: serves hand-overs until the worker has called MarkFinished.
    void ServeUntilFinished();

  private:
    explicit TSyncHandover(IEventLoop& loop) : loop_(loop) {}

    struct Item {
        std::function<void()> call;
        bool done = false;
    };

    IEventLoop& loop_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<Item*> pending_;
    bool finished_ = false;
};

}  // namespace quillon
