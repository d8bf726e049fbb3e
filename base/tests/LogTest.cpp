#include "base/Log.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace quillon {
namespace {

struct Recorder {
    std::mutex mutex;
    std::vector<std::pair<LogCategory, std::string>> lines;

    LogSink Sink(std::function<bool(LogCategory)> enabled = {}) {
        return {std::move(enabled), [this](LogCategory category, std::string_view text) {
                    std::lock_guard lock(mutex);
                    lines.emplace_back(category, std::string(text));
                }};
    }
};

TEST(LogTest, WithoutASinkNothingIsLoggedAndNoMessageIsBuilt) {
    ASSERT_FALSE(LogEnabled(LogCategory::Hid));
    bool built = false;
    Log(LogCategory::Hid, [&] {
        built = true;
        return std::string("x");
    });
    EXPECT_FALSE(built);
}

TEST(LogTest, SinkGetsTheMessagesOfTheCategoriesItWantsAndIsRestoredAfterwards) {
    Recorder recorder;
    {
        ScopedLogSink sink(
            recorder.Sink([](LogCategory category) { return category != LogCategory::Firmware; }));
        Log(LogCategory::Hid, [] { return std::string("one"); });
        Log(LogCategory::Firmware, [] { return std::string("dropped"); });
        LogMessage(LogCategory::Device, "two");
    }
    EXPECT_FALSE(LogEnabled(LogCategory::Device));
    LogMessage(LogCategory::Device, "after");
    ASSERT_EQ(recorder.lines.size(), 2u);
    EXPECT_EQ(recorder.lines[0], std::make_pair(LogCategory::Hid, std::string("one")));
    EXPECT_EQ(recorder.lines[1], std::make_pair(LogCategory::Device, std::string("two")));
    EXPECT_EQ(LogCategoryName(LogCategory::Firmware), "firmware");
}

TEST(LogTest, MessagesFromManyThreadsWhileTheSinkIsReplacedAreNeitherLostNorTorn) {
    Recorder first;
    Recorder second;
    ScopedLogSink outer(first.Sink());
    std::atomic<bool> go{false};
    std::vector<std::thread> writers;
    for (int t = 0; t < 4; ++t) {
        writers.emplace_back([&] {
            while (!go.load()) {
            }
            for (int i = 0; i < 500; ++i) {
                LogMessage(LogCategory::Hid, "message");
            }
        });
    }
    go = true;
    { ScopedLogSink inner(second.Sink()); }
    for (std::thread& writer : writers) {
        writer.join();
    }
    EXPECT_EQ(first.lines.size() + second.lines.size(), 2000u);
}

}  // namespace
}  // namespace quillon
