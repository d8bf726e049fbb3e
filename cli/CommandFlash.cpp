#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QString>

#include "cli/CliContext.h"
#include "device/FirmwareUpdate.h"
#include "device/ParallelFlash.h"

namespace quillon::cli {
namespace {

using firmware::UpdateOutcome;

constexpr int kBarWidth = 40;

// Progress on the error stream, so that the outcome on the output stays clean for scripts: a
// bar redrawn in place on a terminal, a line per block otherwise.
class FlashProgress {
  public:
    FlashProgress(CliContext& context, const std::vector<std::string>& names)
        : context_(context), names_(names), blocks_(names.size(), 0) {}

    void Show(const FlashEvent& event) {
        blocks_[event.Device] = event.Block < 0 ? firmware::kBlockCount : event.Block;
        if (event.Block < 0) {
            ++finished_;
        }
        if (context_.Env.ErrIsTerminal) {
            DrawBar();
        } else if (event.Block >= 0) {
            context_.Err << names_[event.Device] << ": block " << event.Block + 1 << " of "
                         << firmware::kBlockCount << "\n";
        }
    }

    void End() {
        if (context_.Env.ErrIsTerminal) {
            context_.Err << "\n";
        }
        context_.Err << std::flush;
    }

  private:
    void DrawBar() {
        int done = 0;
        for (const int blocks : blocks_) {
            done += blocks;
        }
        const int total = firmware::kBlockCount * static_cast<int>(blocks_.size());
        const int filled = done * kBarWidth / total;
        context_.Err << "\r[" << std::string(static_cast<size_t>(filled), '#')
                     << std::string(static_cast<size_t>(kBarWidth - filled), '-') << "] "
                     << done * 100 / total << "%  " << finished_ << " of " << blocks_.size()
                     << " done" << std::flush;
    }

    CliContext& context_;
    const std::vector<std::string>& names_;
    std::vector<int> blocks_;
    size_t finished_ = 0;
};

int ExitCodeOf(const UpdateOutcome& outcome) {
    const auto result = UpdateOutcomeResult(outcome);
    return result ? ExitSuccess : ToolFailure(result.Error()).Error;
}

}  // namespace

int RunFlash(CliContext& context) {
    if (context.Options.Arguments.size() != 1) {
        return context.Refuse(ExitUsage, "flash takes one argument, the update file");
    }
    if (context.Options.All && !context.Options.Device.empty()) {
        return context.Refuse(ExitUsage, "--all and --device exclude each other");
    }
    const std::string& path = context.Options.Arguments[0];
    if (auto checked = CheckUpdateFile(path); !checked) {
        return context.Report(checked.Error());
    }

    std::vector<size_t> chosen;
    if (context.Options.All) {
        if (auto started = context.StartSession(); !started) {
            return context.Report(started.Error());
        }
        if (context.Session().AdapterCount() == 0) {
            return context.Refuse(ExitNoAdapter, "no adapter found");
        }
        for (size_t i = 0; i < context.Session().AdapterCount(); ++i) {
            chosen.push_back(i);
        }
    } else {
        const auto index = context.SelectAdapter(false);
        if (!index) {
            return context.Report(index.Error());
        }
        chosen.push_back(*index);
    }

    // Adapters that may not be written are reported and left out; the others are updated.
    std::vector<int> refusals(chosen.size(), ExitSuccess);
    std::vector<AdapterService*> devices;
    std::vector<size_t> running;  // position in chosen of each device handed to the workers
    std::vector<std::string> names;
    for (size_t k = 0; k < chosen.size(); ++k) {
        if (auto writable = context.Session().CheckWritable(chosen[k]); !writable) {
            refusals[k] = context.Report(writable.Error());
            continue;
        }
        // Held until the run ends, the whole update long.
        if (auto claimed = context.Session().Service(chosen[k]).Claim(); !claimed) {
            refusals[k] = context.Report(claimed.Error());
            continue;
        }
        devices.push_back(&context.Session().Service(chosen[k]));
        running.push_back(k);
        names.push_back("adapter " + std::to_string(chosen[k]) + " (" +
                        context.Session().Adapter(chosen[k]).InterfacePath() + ")");
    }

    std::vector<UpdateOutcome> outcomes(chosen.size());
    if (!devices.empty()) {
        FlashProgress progress(context, names);
        const auto results =
            FlashDevices(devices, path, [&](const FlashEvent& event) { progress.Show(event); });
        progress.End();
        for (size_t r = 0; r < running.size(); ++r) {
            outcomes[running[r]] = results[r];
        }
    }

    int exitCode = ExitSuccess;
    QJsonArray array;
    for (size_t k = 0; k < chosen.size(); ++k) {
        const std::string& adapterPath = context.Session().Adapter(chosen[k]).InterfacePath();
        const int code = refusals[k] != ExitSuccess ? refusals[k] : ExitCodeOf(outcomes[k]);
        const std::string message = refusals[k] == ExitAdapterBusy ? std::string(kAdapterBusyText)
                                    : refusals[k] != ExitSuccess
                                        ? std::string("no read/write access")
                                    : outcomes[k].Succeeded() ? outcomes[k].Message
                                                              : outcomes[k].Words;
        if (exitCode == ExitSuccess) {
            exitCode = code;
        }
        if (context.Options.Json) {
            QJsonObject object;
            object["index"] = static_cast<int>(chosen[k]);
            object["path"] = QString::fromStdString(adapterPath);
            object["ok"] = code == ExitSuccess;
            object["exitCode"] = code;
            object["message"] = QString::fromStdString(message);
            array.append(object);
        } else {
            context.Out << "adapter " << chosen[k] << " (" << adapterPath << "): " << message
                        << "\n";
        }
    }
    if (context.Options.Json) {
        QJsonObject document;
        document["file"] = QString::fromStdString(path);
        document["adapters"] = array;
        context.Out << QJsonDocument(document).toJson(QJsonDocument::Indented).toStdString();
    }
    return exitCode;
}

}  // namespace quillon::cli
