#pragma once

#include <functional>
#include <string>
#include <string_view>

namespace quillon {

// The subsystems that write diagnostic messages.
enum class LogCategory { Hid, Device, Firmware };

std::string_view LogCategoryName(LogCategory category);  // "hid", "device", "firmware"

// Where diagnostic messages go. The layer below the windows knows no logging framework: the
// program installs a sink that hands them to its own (the Qt side maps the categories to
// logging categories); without a sink nothing is logged and no message is even built.
struct LogSink {
    // Whether messages of the category are wanted at all; unset: all are.
    std::function<bool(LogCategory)> Enabled;
    // May be called from any thread, also from several at once.
    std::function<void(LogCategory, std::string_view)> Write;
};

// Installs the sink (an empty Write removes it) and returns the one it replaces.
LogSink SetLogSink(LogSink sink);

bool LogEnabled(LogCategory category);
void LogMessage(LogCategory category, std::string_view message);

// Builds the message only when someone listens: Log(LogCategory::Hid, [&] { return ...; }).
template <typename BuildMessage>
void Log(LogCategory category, BuildMessage&& build) {
    if (LogEnabled(category)) {
        LogMessage(category, build());
    }
}

// Restores the sink it replaced when it goes.
class ScopedLogSink {
  public:
    explicit ScopedLogSink(LogSink sink) : previous_(SetLogSink(std::move(sink))) {}
    ~ScopedLogSink() { SetLogSink(std::move(previous_)); }
    ScopedLogSink(const ScopedLogSink&) = delete;
    ScopedLogSink& operator=(const ScopedLogSink&) = delete;

  private:
    LogSink previous_;
};

}  // namespace quillon
