#include "hid/PlainEventLoop.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <system_error>
#include <vector>

namespace quillon {

PlainEventLoop::PlainEventLoop() {
    int fds[2];
    if (pipe2(fds, O_NONBLOCK | O_CLOEXEC) != 0) {
        throw std::system_error(errno, std::generic_category(), "event loop wake pipe");
    }
    wakeRead_ = fds[0];
    wakeWrite_ = fds[1];
}

PlainEventLoop::~PlainEventLoop() {
    close(wakeRead_);
    close(wakeWrite_);
}

void PlainEventLoop::Post(Task task) {
    bool wake = false;
    {
        std::lock_guard lock(mutex_);
        tasks_.push_back(std::move(task));
        wake = !wakePending_;
        wakePending_ = true;
    }
    if (wake) {
        const char byte = 1;
        // A full pipe already wakes the owner, so a failed write loses nothing.
        [[maybe_unused]] const ssize_t written = write(wakeWrite_, &byte, 1);
    }
}

int PlainEventLoop::WatchReadable(int fd, Task onReadable) {
    const int id = nextWatchId_++;
    watches_[id] = Watch{fd, std::make_shared<Task>(std::move(onReadable))};
    return id;
}

void PlainEventLoop::Unwatch(int watchId) {
    watches_.erase(watchId);
}

size_t PlainEventLoop::PendingTasks() const {
    std::lock_guard lock(mutex_);
    return tasks_.size();
}

void PlainEventLoop::DrainWakePipe() {
    char buffer[64];
    while (read(wakeRead_, buffer, sizeof buffer) > 0) {
    }
}

int PlainEventLoop::RunQueuedTasks() {
    // Drain before taking the queue: a task posted after the swap writes a fresh wake byte.
    DrainWakePipe();
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

    std::vector<pollfd> fds;
    std::vector<int> ids;
    fds.push_back(pollfd{wakeRead_, POLLIN, 0});
    for (const auto& [id, watch] : watches_) {
        fds.push_back(pollfd{watch.fd, POLLIN, 0});
        ids.push_back(id);
    }
    const int ready = poll(fds.data(), fds.size(), ran > 0 ? 0 : timeoutMs);
    if (ready > 0) {
        for (size_t i = 1; i < fds.size(); ++i) {
            if ((fds[i].revents & (POLLIN | POLLHUP | POLLERR)) == 0) {
                continue;
            }
            // An earlier callback may have removed this watch.
            const auto it = watches_.find(ids[i - 1]);
            if (it == watches_.end()) {
                continue;
            }
            const std::shared_ptr<Task> callback = it->second.onReadable;
            (*callback)();
            ++ran;
        }
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
