#include <chrono>
#include <cstdio>
#include <ctime>

#include "cli/CliContext.h"
#include "device/ReportText.h"

namespace quillon::cli {
namespace {

// Input reports with this ID are not shown, as on the raw-report page.
constexpr uint8_t kInhibitedReportId = 0xFF;

// "HH:MM:SS.mmm", local time.
std::string TimeStamp() {
    const auto now = std::chrono::system_clock::now();
    const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
    const auto millis =
        std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() %
        1000;
    std::tm local{};
#ifdef _WIN32
    localtime_s(&local, &seconds);
#else
    localtime_r(&seconds, &local);
#endif
    char text[32];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d.%03d", local.tm_hour, local.tm_min,
                  local.tm_sec, static_cast<int>(millis));
    return text;
}

// Receives the selected adapter's input reports on the loop's thread and prints them as the
// history list shows them, each with a time stamp.
class Monitor {
  public:
    explicit Monitor(CliContext& context) : context_(context) {}

    void Data(THidDevice*, uint8_t reportId, std::span<const uint8_t> data) {
        // A report handed over while the reader is being stopped comes after the count.
        if (reportId == kInhibitedReportId ||
            (context_.Options.Count && shown_ >= *context_.Options.Count)) {
            return;
        }
        context_.Out << TimeStamp() << " " << HistoryLine('R', reportId, data.data(), data.size())
                     << "\n"
                     << std::flush;
        ++shown_;
    }
    // The output carries reports only, for the scripts that read it; a failed read (most often
    // the adapter being pulled, which ends the run) is told on the error stream.
    void DataError(THidDevice*, const HidFailure& error) {
        context_.Err << TimeStamp() << " READ ERROR: " << error.Message << "\n" << std::flush;
    }
    void Unplug(THidDevice*) { unplugged_ = true; }

    long Shown() const { return shown_; }
    bool Unplugged() const { return unplugged_; }

  private:
    CliContext& context_;
    long shown_ = 0;
    bool unplugged_ = false;
};

}  // namespace

int RunMonitor(CliContext& context) {
    if (!context.Options.Arguments.empty()) {
        return context.Refuse(ExitUsage, "monitor takes no arguments");
    }
    const auto index = context.SelectAdapter();
    if (!index) {
        return context.Report(index.Error());
    }
    THidDevice& device = context.Session().Adapter(*index);
    Monitor monitor(context);
    device.SetDataErrorHandler(MakeHandler<&Monitor::DataError>(&monitor));
    device.SetUnplugHandler(MakeHandler<&Monitor::Unplug>(&monitor));
    device.SetDataHandler(MakeHandler<&Monitor::Data>(&monitor));  // starts the reader

    using Clock = std::chrono::steady_clock;
    const auto start = Clock::now();
    const auto limit = context.Options.Duration
                           ? std::chrono::duration_cast<Clock::duration>(
                                 std::chrono::duration<double>(*context.Options.Duration))
                           : Clock::duration::max();
    const auto finished = [&] {
        return (context.Options.Count && monitor.Shown() >= *context.Options.Count) ||
               monitor.Unplugged() ||
               (context.Env.Interrupted != nullptr && context.Env.Interrupted->load()) ||
               Clock::now() - start >= limit;
    };
    while (!finished()) {
        // Short waits, so that an interrupt or the end of the duration is noticed soon.
        context.Session().Loop().RunOnce(50);
    }

    // The reader stops before the monitor it reports to goes.
    device.SetDataHandler({});
    device.SetDataErrorHandler({});
    device.SetUnplugHandler({});
    if (monitor.Unplugged()) {
        return context.Refuse(ExitNoAdapter, device.InterfacePath() + " was removed");
    }
    return ExitSuccess;
}

}  // namespace quillon::cli
