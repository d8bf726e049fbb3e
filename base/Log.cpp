#include "base/Log.h"

#include <atomic>
#include <memory>
#include <mutex>

namespace quillon {
namespace {

// Readers take a share of the sink, so a sink replaced while another thread writes through it
// lives until that write is done.
std::mutex sinkMutex;
std::shared_ptr<const LogSink> currentSink;
std::atomic<bool> sinkInstalled{false};

std::shared_ptr<const LogSink> Current() {
    if (!sinkInstalled.load(std::memory_order_acquire)) {
        return nullptr;
    }
    std::lock_guard lock(sinkMutex);
    return currentSink;
}

}  // namespace

std::string_view LogCategoryName(LogCategory category) {
    switch (category) {
        case LogCategory::Hid:
            return "hid";
        case LogCategory::Device:
            return "device";
        case LogCategory::Firmware:
            return "firmware";
    }
    return "unknown";
}

LogSink SetLogSink(LogSink sink) {
    std::shared_ptr<const LogSink> replacement;
    if (sink.Write) {
        replacement = std::make_shared<const LogSink>(std::move(sink));
    }
    std::shared_ptr<const LogSink> previous;
    {
        std::lock_guard lock(sinkMutex);
        previous = std::move(currentSink);
        currentSink = replacement;
        sinkInstalled.store(replacement != nullptr, std::memory_order_release);
    }
    return previous != nullptr ? *previous : LogSink{};
}

bool LogEnabled(LogCategory category) {
    const auto sink = Current();
    return sink != nullptr && (!sink->Enabled || sink->Enabled(category));
}

void LogMessage(LogCategory category, std::string_view message) {
    const auto sink = Current();
    if (sink != nullptr && (!sink->Enabled || sink->Enabled(category))) {
        sink->Write(category, message);
    }
}

}  // namespace quillon
