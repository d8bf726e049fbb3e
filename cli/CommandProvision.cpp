#include <QCoreApplication>
#include <QJsonDocument>
#include <QJsonObject>
#include <QString>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <thread>
#include <utility>

#include "cli/CliContext.h"
#include "config/ConfigFile.h"
#include "config/SettingsAssignment.h"
#include "device/FirmwareUpdate.h"
#include "device/HexText.h"
#include "device/ProvisionLog.h"
#include "device/ProvisionRecords.h"
#include "device/ProvisionStation.h"
#include "device/ReportText.h"
#include "device/SettingsRecord.h"

namespace quillon::cli {
namespace {

std::string Seconds(std::chrono::milliseconds took) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f s", static_cast<double>(took.count()) / 1000);
    return text;
}

// The result line shouts a failure and marks a step that did not run, so that the eye finds
// both in a column of results.
std::string StepWord(const StepResult& step) {
    if (step.Failed()) {
        return "FAILED";
    }
    const std::string text = StepText(step);
    return text.empty() ? "-" : text;
}

// Everything the run needs, checked before any adapter is touched.
struct Inputs {
    ProvisionPlan Plan;
    ProvisionLog Log;
    std::unique_ptr<records::StationRecords> Records;
};

// What the forwarder to a line's server has to say, told by the thread that prints: the
// forwarder's own thread only leaves it here.
class ForwarderNotices {
  public:
    void Heard(const records::ForwarderStatus& status) {
        std::lock_guard lock(mutex_);
        if (auto notice = records::StatusNotice(last_, status)) {
            waiting_.push_back(std::move(*notice));
        }
        last_ = status;
    }
    std::vector<std::string> Take() {
        std::lock_guard lock(mutex_);
        return std::exchange(waiting_, {});
    }

  private:
    std::mutex mutex_;
    records::ForwarderStatus last_;
    std::vector<std::string> waiting_;
};

CliResult<Inputs> CheckInputs(CliContext& context, ForwarderNotices& notices) {
    const CliOptions& options = context.Options;
    if (!options.Device.empty()) {
        return Failure<ExitCode>{
            ExitUsage, "provision takes every adapter that is plugged in; --device does not apply"};
    }
    if (!options.Config.empty() && !options.Sets.empty()) {
        return Failure<ExitCode>{ExitUsage, "--config and --set exclude each other"};
    }
    // "--set baud=9600 enter=CR": the words after the first assignment are assignments too.
    std::vector<std::string> words = options.Sets;
    if (!options.Arguments.empty() && words.empty()) {
        return Failure<ExitCode>{ExitUsage,
                                 "provision takes no arguments; settings are given with --set"};
    }
    words.insert(words.end(), options.Arguments.begin(), options.Arguments.end());
    ProvisionRequest request;
    request.FirmwareFile = options.Firmware;
    request.ConfigFile = options.Config;
    if (!words.empty()) {
        std::string error;
        auto assignments = ParseAssignments(words, error);
        if (!assignments) {
            return Failure<ExitCode>{ExitUsage, error};
        }
        request.Settings = std::move(*assignments);
    }
    auto checked = CheckProvisionPlan(request);
    if (!checked) {
        return ToolFailure(checked.Error());
    }
    Inputs inputs;
    inputs.Plan = std::move(checked->Plan);
    const bool clearDataOn = checked->SwitchesClearDataOn;

    // Asked once for the whole run, not for each adapter on the bench.
    if (clearDataOn) {
        if (auto confirmed = context.ConfirmClearData(); !confirmed) {
            return confirmed.Error();
        }
    }

    if (!options.LogFile.empty()) {
        std::string error;
        if (!inputs.Log.Open(options.LogFile, error)) {
            return Failure<ExitCode>{
                ExitFileRefused, "unable to write the log file " + options.LogFile + ": " + error};
        }
    }
    auto opened = OpenProvisionRecords(
        options.Records, context.Env.RecordsFile,
        [&notices](const records::ForwarderStatus& status) { notices.Heard(status); });
    if (!opened) {
        return Failure<ExitCode>{
            opened.Error().Error == records::RecordError::BadUrl ? ExitUsage : ExitFileRefused,
            opened.Error().Message};
    }
    inputs.Records = std::move(*opened);
    return inputs;
}

std::string IdentityText(const ProvisionRecord& record) {
    std::string text = Utf16ToUtf8(record.Product);
    if (text.empty()) {
        text = "?";
    }
    return text + " " + FourHexDigits(record.Identity.VendorID) + ":" +
           FourHexDigits(record.Identity.ProductID) + " v" +
           FourHexDigits(record.Identity.VersionNumber);
}

std::string ResultLine(const ProvisionRecord& record, const ProvisionPlan& plan) {
    std::string line = record.Path + "  " + IdentityText(record);
    if (!plan.FirmwareFile.empty()) {
        line += std::string("  update ") + StepWord(record.Update);
    }
    if (plan.WritesSettings()) {
        line += std::string("  settings ") + StepWord(record.Settings);
        line += std::string("  verify ") + StepWord(record.Verify);
    }
    line += "  " + Seconds(record.Took) + "  ";
    return line + (record.Passed ? "PASS" : "FAIL: " + record.Reason);
}

// null for a step that did not run.
QJsonValue StepJson(const StepResult& step) {
    const std::string text = StepText(step);
    return text.empty() ? QJsonValue() : QJsonValue(QString::fromStdString(text));
}

std::string ResultJson(const ProvisionRecord& record, const Inputs& inputs) {
    QJsonObject object;
    object["node"] = QString::fromStdString(record.Path);
    object["usb_port"] = QString::fromStdString(record.UsbPath);
    object["vendor"] = QString::fromStdString(FourHexDigits(record.Identity.VendorID));
    object["product"] = QString::fromStdString(FourHexDigits(record.Identity.ProductID));
    object["manufacturer_text"] = QString::fromStdU16String(record.Manufacturer);
    object["product_text"] = QString::fromStdU16String(record.Product);
    object["version_before"] = QString::fromStdString(FourHexDigits(record.Identity.VersionNumber));
    object["version_after"] =
        record.VersionAfter
            ? QJsonValue(QString::fromStdString(FourHexDigits(*record.VersionAfter)))
            : QJsonValue();
    if (!inputs.Plan.FirmwareFile.empty()) {
        object["firmware_file"] = QString::fromStdString(inputs.Plan.FirmwareFile);
        object["firmware_crc32"] = QString::fromStdString(inputs.Plan.FirmwareChecksum);
    }
    object["settings"] = QString::fromStdString(record.SettingsWritten);
    object["update"] = StepJson(record.Update);
    object["settings_write"] = StepJson(record.Settings);
    object["verify"] = StepJson(record.Verify);
    object["result"] = record.Passed ? "PASS" : "FAIL";
    object["reason"] = QString::fromStdString(record.Reason);
    object["exit_code"] = record.Passed ? ExitSuccess : ToolFailure({record.FailureKind, {}}).Error;
    object["seconds"] = static_cast<double>(record.Took.count()) / 1000;
    return QJsonDocument(object).toJson(QJsonDocument::Compact).toStdString();
}

std::string LiveText(const LiveJob& job) {
    return "  " + job.Path + "  " + ProgressText(job.Step, job.Block) + "  " + Seconds(job.Running);
}

// On a terminal: one line per adapter in progress on the error stream, redrawn in place, and
// taken away before a finished adapter's line is printed.
class LiveLines {
  public:
    explicit LiveLines(CliContext& context) : context_(context) {}

    void Draw(const std::vector<LiveJob>& jobs) {
        Clear();
        for (const LiveJob& job : jobs) {
            context_.Err << LiveText(job) << "\n";
        }
        drawn_ = jobs.size();
        context_.Err << std::flush;
    }

    void Clear() {
        for (; drawn_ > 0; --drawn_) {
            context_.Err << "\x1b[1A\x1b[2K";  // up one line, erase it
        }
        context_.Err << std::flush;
    }

  private:
    CliContext& context_;
    size_t drawn_ = 0;
};

}  // namespace

int RunProvision(CliContext& context) {
    ForwarderNotices notices;
    auto checked = CheckInputs(context, notices);
    if (!checked) {
        return context.Report(checked.Error());
    }
    Inputs& inputs = *checked;
    const std::unique_ptr<IHidPlatform> platform =
        context.Env.CreatePlatform(context.Options.Emulate);

    long passed = 0;
    long failed = 0;
    int exitCode = ExitSuccess;
    LiveLines live(context);
    const auto tellNotices = [&] {
        for (const std::string& notice : notices.Take()) {
            live.Clear();
            context.Fail(notice);
        }
    };
    records::RecordForwarder* forwarder = inputs.Records->Forwarder();
    if (forwarder != nullptr) {
        // The server's first answer, so that a wrong URL or password is told before the
        // first adapter rather than somewhere among the results; the station does not wait
        // for it longer than that.
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(3);
        while (forwarder->Status().Now == records::ForwarderStatus::State::Connecting &&
               std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        tellNotices();
    }
    const std::string station = records::DefaultStationName();
    const std::string version = QCoreApplication::applicationVersion().toStdString();
    StationEvents events;
    events.Finished = [&](const ProvisionRecord& record) {
        live.Clear();
        if (auto kept =
                inputs.Records->Append(ToStationRecord(record, inputs.Plan, station, version));
            !kept) {
            context.Fail("the record of " + record.Path + " was not kept: " + kept.Error().Message);
            if (exitCode == ExitSuccess) {
                exitCode = ExitFileRefused;
            }
        }
        tellNotices();
        if (record.Passed) {
            ++passed;
        } else {
            ++failed;
            if (exitCode == ExitSuccess) {
                exitCode = ToolFailure({record.FailureKind, record.Reason}).Error;
            }
        }
        context.Out << (context.Options.Json ? ResultJson(record, inputs)
                                             : ResultLine(record, inputs.Plan))
                    << "\n"
                    << std::flush;
        std::string error;
        if (inputs.Log.IsOpen() && !inputs.Log.Append(record, inputs.Plan.FirmwareFile,
                                                      inputs.Plan.FirmwareChecksum, error)) {
            context.Fail("unable to write the log file " + context.Options.LogFile + ": " + error);
            if (exitCode == ExitSuccess) {
                exitCode = ExitFileRefused;
            }
        }
    };
    events.Progress = [&](const std::vector<LiveJob>& jobs) {
        tellNotices();
        if (context.Env.ErrIsTerminal) {
            live.Draw(jobs);
        }
    };
    events.LeftAlone = [&](const std::string& path) {
        tellNotices();
        live.Clear();
        context.Fail(path + " left alone: --count " + std::to_string(*context.Options.Count) +
                     " adapters are taken");
    };

    context.Err << "quillon-cli: waiting for adapters"
                << (context.Options.Count
                        ? " (" + std::to_string(*context.Options.Count) + " to go)"
                        : std::string())
                << "; Ctrl+C ends once the adapters in progress are done\n"
                << std::flush;
    {
        ProvisionStation::Options stationOptions;
        stationOptions.Count = context.Options.Count;
        stationOptions.AllPresent = context.Options.AllPresent;
        ProvisionStation station(*platform, inputs.Plan, stationOptions);
        station.Run(context.Env.Interrupted, events);
    }
    live.Clear();
    if (forwarder != nullptr) {
        // The records are safe on the station; the server gets a moment to take the last ones.
        if (forwarder->Status().Now != records::ForwarderStatus::State::Unreachable) {
            forwarder->WaitCaughtUp(std::chrono::seconds(5));
        }
        tellNotices();
        if (const int64_t backlog = forwarder->Status().Backlog; backlog > 0) {
            context.Fail(std::to_string(backlog) +
                         " records wait on the station for the server; the next run sends them");
        }
    }
    if (context.Options.Json) {
        QJsonObject summary;
        summary["passed"] = static_cast<qint64>(passed);
        summary["failed"] = static_cast<qint64>(failed);
        context.Out << QJsonDocument(QJsonObject{{"summary", summary}})
                           .toJson(QJsonDocument::Compact)
                           .toStdString()
                    << "\n";
    } else {
        context.Out << passed << " passed, " << failed << " failed\n";
    }
    return exitCode;
}

}  // namespace quillon::cli
