#include "ui/QtEventLoop.h"

#include <gtest/gtest.h>
#ifdef _WIN32
#include <windows.h>
#else
#include <unistd.h>
#endif
#include <QTest>
#include <QThread>
#include <thread>
#include <vector>

namespace quillon {
namespace {

TEST(QtEventLoop, PostedTasksRunOnTheOwningThreadInOrder) {
    QtEventLoop loop;
    std::vector<int> order;
    bool onOwningThread = true;
    QThread* const owner = QThread::currentThread();
    std::thread poster([&] {
        for (int i = 0; i < 100; ++i) {
            loop.Post([&, i] {
                onOwningThread = onOwningThread && QThread::currentThread() == owner;
                order.push_back(i);
            });
        }
    });
    poster.join();
    EXPECT_TRUE(order.empty());  // nothing runs before the loop does
    EXPECT_TRUE(QTest::qWaitFor([&] { return order.size() == 100; }, 10000));
    EXPECT_TRUE(onOwningThread);
    for (int i = 0; i < 100; ++i) {
        EXPECT_EQ(order[i], i);
    }
}

TEST(QtEventLoop, TasksStillQueuedAtTheEndAreDropped) {
    bool ran = false;
    {
        QtEventLoop loop;
        loop.Post([&] { ran = true; });
    }
    QCoreApplication::processEvents();
    EXPECT_FALSE(ran);
}

#ifdef _WIN32
// What a pipe is to the POSIX loop: a manual-reset event stays signalled until drained.
class Pipe {
  public:
    Pipe() : event(CreateEventW(nullptr, TRUE, FALSE, nullptr)) { EXPECT_NE(event, nullptr); }
    ~Pipe() { CloseHandle(event); }
    HANDLE ReadEnd() const { return event; }
    void Send() { EXPECT_TRUE(SetEvent(event)); }
    void Drain() { EXPECT_TRUE(ResetEvent(event)); }

  private:
    HANDLE event;
};
#else
class Pipe {
  public:
    Pipe() { EXPECT_EQ(pipe(ends_), 0); }
    ~Pipe() {
        close(ends_[0]);
        close(ends_[1]);
    }
    int ReadEnd() const { return ends_[0]; }
    void Send() { EXPECT_EQ(write(ends_[1], "x", 1), 1); }
    void Drain() {
        char byte;
        EXPECT_EQ(read(ends_[0], &byte, 1), 1);
    }

  private:
    int ends_[2] = {-1, -1};
};
#endif

TEST(QtEventLoop, WatchReadableRunsWhenDataArrivesUntilUnwatched) {
    QtEventLoop loop;
    Pipe pipe;
    int calls = 0;
    const int id = loop.WatchReadable(pipe.ReadEnd(), [&] {
        pipe.Drain();
        ++calls;
    });
    pipe.Send();
    EXPECT_TRUE(QTest::qWaitFor([&] { return calls == 1; }, 10000));
    pipe.Send();
    EXPECT_TRUE(QTest::qWaitFor([&] { return calls == 2; }, 10000));

    loop.Unwatch(id);
    loop.Unwatch(id);  // a second time is harmless
    pipe.Send();
    // A posted marker runs after the notifier would have: once it has, no call came.
    bool marker = false;
    loop.Post([&] { marker = true; });
    EXPECT_TRUE(QTest::qWaitFor([&] { return marker; }, 10000));
    QCoreApplication::processEvents();
    EXPECT_EQ(calls, 2);
}

TEST(QtEventLoop, TaskMayUnwatchItself) {
    QtEventLoop loop;
    Pipe pipe;
    int calls = 0;
    int id = 0;
    id = loop.WatchReadable(pipe.ReadEnd(), [&] {
        ++calls;
        loop.Unwatch(id);
    });
    pipe.Send();
    EXPECT_TRUE(QTest::qWaitFor([&] { return calls == 1; }, 10000));
    // The byte was never read: a live watch would fire again and again.
    bool marker = false;
    loop.Post([&] { marker = true; });
    EXPECT_TRUE(QTest::qWaitFor([&] { return marker; }, 10000));
    QCoreApplication::processEvents();
    EXPECT_EQ(calls, 1);
}

}  // namespace
}  // namespace quillon
