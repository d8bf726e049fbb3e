#include "base/PlainEventLoop.h"

#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>
#else
#include <unistd.h>
#endif

#include <atomic>
#include <thread>
#include <vector>

namespace quillon {
namespace {

constexpr std::chrono::seconds kDeadline{10};

// Something the loop can watch and the test can make ready: a pipe on POSIX systems, an
// auto-reset event on Windows (which the loop's wait resets).
class ReadySource {
  public:
#ifdef _WIN32
    ReadySource() : event_(CreateEventW(nullptr, FALSE, FALSE, nullptr)) {}
    ~ReadySource() {
        CloseHandle(event_);
    }
    WaitableHandle Handle() const {
        return event_;
    }
    bool MakeReady() {
        return SetEvent(event_) != 0;
    }
    bool Consume() {
        return true;
    }

  private:
    HANDLE event_;
#else
    ReadySource() {
        EXPECT_EQ(pipe(fds_), 0);
    }
    ~ReadySource() {
        close(fds_[0]);
        close(fds_[1]);
    }
    WaitableHandle Handle() const {
        return fds_[0];
    }
    bool MakeReady() {
        return write(fds_[1], "x", 1) == 1;
    }
    bool Consume() {
        char byte;
        return read(fds_[0], &byte, 1) == 1;
    }

  private:
    int fds_[2] = {-1, -1};
#endif
};

TEST(PlainEventLoopTest, TasksRunInPostingOrderOnTheOwningThread) {
    PlainEventLoop loop;
    std::vector<int> order;
    loop.Post([&] { order.push_back(1); });
    loop.Post([&] {
        order.push_back(2);
        loop.Post([&] { order.push_back(4); });
    });
    loop.Post([&] { order.push_back(3); });
    EXPECT_EQ(loop.RunPending(), 4);
    EXPECT_EQ(order, (std::vector<int>{1, 2, 3, 4}));
    EXPECT_EQ(loop.PendingTasks(), 0u);
}

TEST(PlainEventLoopTest, PostFromAnotherThreadWakesTheWait) {
    PlainEventLoop loop;
    std::atomic<bool> ran{false};
    std::thread::id ranOn;
    std::thread poster([&] {
        loop.Post([&] {
            ranOn = std::this_thread::get_id();
            ran = true;
        });
    });
    EXPECT_TRUE(loop.RunUntil([&] { return ran.load(); }, kDeadline));
    poster.join();
    EXPECT_EQ(ranOn, std::this_thread::get_id());
}

TEST(PlainEventLoopTest, ReadableDescriptorRunsItsCallbackUntilUnwatched) {
    PlainEventLoop loop;
    ReadySource source;
    int calls = 0;
    const int id = loop.WatchReadable(source.Handle(), [&] {
        ASSERT_TRUE(source.Consume());
        ++calls;
    });
    EXPECT_EQ(loop.RunOnce(0), 0);
    ASSERT_TRUE(source.MakeReady());
    EXPECT_TRUE(loop.RunUntil([&] { return calls == 1; }, kDeadline));

    loop.Unwatch(id);
    ASSERT_TRUE(source.MakeReady());
    EXPECT_EQ(loop.RunOnce(0), 0);
    EXPECT_EQ(calls, 1);
}

TEST(PlainEventLoopTest, CallbackMayUnwatchItself) {
    PlainEventLoop loop;
    ReadySource source;
    ASSERT_TRUE(source.MakeReady());
    int calls = 0;
    int id = 0;
    id = loop.WatchReadable(source.Handle(), [&] {
        ++calls;
        loop.Unwatch(id);
    });
    EXPECT_TRUE(loop.RunUntil([&] { return calls == 1; }, kDeadline));
    EXPECT_EQ(loop.RunOnce(0), 0);
}

TEST(PlainEventLoopTest, RunUntilGivesUpAtItsLimit) {
    PlainEventLoop loop;
    EXPECT_FALSE(loop.RunUntil([] { return false; }, std::chrono::milliseconds(1)));
}

}  // namespace
}  // namespace quillon
