#include "base/PlainEventLoop.h"

#include <algorithm>
#include <vector>

namespace quillon {

void PlainEventLoop::Post(Task task) {
    bool wake = false;
    {
        std::lock_guard lock(mutex_);
        tasks_.push_back(std::move(task));
        wake = !wakePending_;
        wakePending_ = true;
    }
    if (wake) {
        waiter_.Wake();
    }
}

int PlainEventLoop::WatchReadable(WaitableHandle source, Task onReadable) {
    const int id = nextWatchId_++;
    watches_[id] = Watch{source, std::make_shared<Task>(std::move(onReadable))};
    return id;
}

void PlainEventLoop::Unwatch(int watchId) {
    watches_.erase(watchId);
}

size_t PlainEventLoop::PendingTasks() const {
    std::lock_guard lock(mutex_);
    return tasks_.size();
}

int PlainEventLoop::RunQueuedTasks() {
    // Clear before taking the queue: a task posted after the swap wakes the loop afresh.
    waiter_.ClearWake();
    std::deque<Task> tasks;
    {
        std::lock_guard lock(mutex_);
        tasks.swap(tasks_);
        wakePending_ = false;
    }
    int ran = 0;
    for (Task& task : tasks) {
        task();
        ++ran;
    }
    return ran;
}

int PlainEventLoop::RunOnce(int timeoutMs) {
    int ran = RunQueuedTasks();

    std::vector<WaitableHandle> sources;
    std::vector<int> ids;
    for (const auto& [id, watch] : watches_) {
        sources.push_back(watch.source);
        ids.push_back(id);
    }
    for (const size_t index : waiter_.Wait(sources, ran > 0 ? 0 : timeoutMs)) {
        // An earlier callback may have removed this watch.
        const auto it = watches_.find(ids[index]);
        if (it == watches_.end()) {
            continue;
        }
        const std::shared_ptr<Task> callback = it->second.onReadable;
        (*callback)();
        ++ran;
    }
    if (ran == 0) {
        ran += RunQueuedTasks();
    }
    return ran;
}

int PlainEventLoop::RunPending() {
    int total = 0;
    for (;;) {
        const int ran = RunQueuedTasks();
        if (ran == 0) {
            return total;
        }
        total += ran;
    }
}

bool PlainEventLoop::RunUntil(const std::function<bool()>& done, std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            return done();
        }
        RunOnce(static_cast<int>(std::min<long long>(left.count(), 50)));
    }
    return true;
}

}  // namespace quillon
