#include "hid/PlainEventLoop.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <atomic>
#include <thread>
#include <vector>

namespace quillon {
namespace {

constexpr std::chrono::seconds kDeadline{10};

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
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    int calls = 0;
    const int id = loop.WatchReadable(fds[0], [&] {
        char byte;
        ASSERT_EQ(read(fds[0], &byte, 1), 1);
        ++calls;
    });
    EXPECT_EQ(loop.RunOnce(0), 0);
    ASSERT_EQ(write(fds[1], "x", 1), 1);
    EXPECT_TRUE(loop.RunUntil([&] { return calls == 1; }, kDeadline));

    loop.Unwatch(id);
    ASSERT_EQ(write(fds[1], "x", 1), 1);
    EXPECT_EQ(loop.RunOnce(0), 0);
    EXPECT_EQ(calls, 1);
    close(fds[0]);
    close(fds[1]);
}

TEST(PlainEventLoopTest, CallbackMayUnwatchItself) {
    PlainEventLoop loop;
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    ASSERT_EQ(write(fds[1], "x", 1), 1);
    int calls = 0;
    int id = 0;
    id = loop.WatchReadable(fds[0], [&] {
        ++calls;
        loop.Unwatch(id);
    });
    EXPECT_TRUE(loop.RunUntil([&] { return calls == 1; }, kDeadline));
    EXPECT_EQ(loop.RunOnce(0), 0);
    close(fds[0]);
    close(fds[1]);
}

TEST(PlainEventLoopTest, RunUntilGivesUpAtItsLimit) {
    PlainEventLoop loop;
    EXPECT_FALSE(loop.RunUntil([] { return false; }, std::chrono::milliseconds(1)));
}

}  // namespace
}  // namespace quillon
