#include <QJsonDocument>
#include <QJsonObject>
#include <QString>

#include "cli/CliContext.h"
#include "cli/SettingsAssignment.h"
#include "config/ConfigFile.h"

namespace quillon::cli {
namespace {

QJsonObject ToJson(const SettingsControlValues& values) {
    const auto enter =
        values.EnterCtrlIndex == NoEnterCtrl
            ? QJsonValue()
            : QJsonValue(QString::fromLatin1(
                  EnterControlNames[static_cast<size_t>(values.EnterCtrlIndex)].data()));
    QJsonObject object;
    // The keys of the set command, so that a shown record can be fed back.
    object["version"] = ParseIntegerText(values.VersionText, 0);
    object["baud"] = ParseIntegerText(values.BaudText, 0);
    object["char-delay"] = values.CharDelayMs;
    object["line-delay"] = values.LineDelayMs;
    object["flow"] =
        QString::fromLatin1(FlowControlNames[static_cast<size_t>(values.FlowCtrlIndex)].data());
    object["enter"] = enter;
    object["alt-key"] = values.UseAltKey;
    object["pavex"] = values.Pavex;
    object["clear-data"] = values.ClrMem;
    object["clear-stx"] = values.ClrStx;
    object["clear-etx"] = values.ClrEtx;
    return object;
}

// The adapter that --device names and its settings record, or the exit code of the failure.
// A command that is going to write takes the adapter before it reads anything.
int ReadAdapterSettings(CliContext& context, size_t& index, ReportBuffer& buffer,
                        bool toWrite = false) {
    if (const int code = context.SelectAdapter(index); code != kExitSuccess) {
        return code;
    }
    if (toWrite) {
        if (const int code = context.ClaimAdapter(index); code != kExitSuccess) {
            return code;
        }
    }
    return context.ReadSettings(index, buffer) ? kExitSuccess : kExitTransferFailed;
}

}  // namespace

int RunShow(CliContext& context) {
    if (!context.Options.Arguments.empty()) {
        context.Fail("show takes no arguments");
        return kExitUsage;
    }
    size_t index = 0;
    ReportBuffer buffer{};
    if (const int code = ReadAdapterSettings(context, index, buffer); code != kExitSuccess) {
        return code;
    }
    if (context.Options.Json) {
        context.Out << QJsonDocument(ToJson(*ShownSettings(buffer)))
                           .toJson(QJsonDocument::Indented)
                           .toStdString();
    } else {
        context.Out << DescribeSettings(buffer);
    }
    return kExitSuccess;
}

int RunSet(CliContext& context) {
    std::string error;
    // Every value is checked before any adapter is looked at.
    const auto assignments = ParseAssignments(context.Options.Arguments, error);
    if (!assignments) {
        context.Fail(error);
        return kExitUsage;
    }
    size_t index = 0;
    ReportBuffer buffer{};
    if (const int code = ReadAdapterSettings(context, index, buffer, true); code != kExitSuccess) {
        return code;
    }
    const auto plan = PlanSettings(*ShownSettings(buffer), *assignments, error);
    if (!plan) {
        context.Fail(error);
        return kExitUsage;
    }
    if (plan->NeedsClearDataConfirmation) {
        if (const int code = context.ConfirmClearData(); code != kExitSuccess) {
            return code;
        }
    }
    EncodeForWrite(plan->Values, buffer);
    if (const int code = context.WriteSettings(index, buffer); code != kExitSuccess) {
        return code;
    }
    context.Out << "Device-Settings updated\n";
    return kExitSuccess;
}

int RunSave(CliContext& context) {
    if (context.Options.Arguments.size() != 1) {
        context.Fail("save takes one argument, the file");
        return kExitUsage;
    }
    const std::string& path = context.Options.Arguments[0];
    size_t index = 0;
    ReportBuffer buffer{};
    if (const int code = ReadAdapterSettings(context, index, buffer); code != kExitSuccess) {
        return code;
    }
    // The file holds what the page would collect from the record it shows.
    EncodeSettings(*ShownSettings(buffer), buffer);
    if (const auto result = SaveConfigFile(path, buffer); result != ConfigFileResult::Ok) {
        context.Fail(ConfigFileMessage(result, path));
        return kExitFileRefused;
    }
    return kExitSuccess;
}

int RunLoad(CliContext& context) {
    if (context.Options.Arguments.size() != 1) {
        context.Fail("load takes one argument, the file");
        return kExitUsage;
    }
    const std::string& path = context.Options.Arguments[0];
    // The file is checked before any adapter is looked at.
    ReportBuffer probe{};
    if (const int code = context.CheckSettingsFile(path, probe); code != kExitSuccess) {
        return code;
    }

    size_t index = 0;
    ReportBuffer buffer{};
    // The adapter's record first: its version byte stays, and a short file changes only the
    // bytes it holds.
    if (const int code = ReadAdapterSettings(context, index, buffer, true); code != kExitSuccess) {
        return code;
    }
    const SettingsControlValues before = *ShownSettings(buffer);
    if (const auto result = LoadConfigFile(path, buffer); result != ConfigFileResult::Ok) {
        context.Fail(ConfigFileMessage(result, path));
        return kExitFileRefused;
    }
    const auto shown = ShownSettings(buffer);
    if (!shown) {
        context.Fail("not a settings file: " + path);
        return kExitFileRefused;
    }
    if (shown->ClrMem && !before.ClrMem) {
        if (const int code = context.ConfirmClearData(); code != kExitSuccess) {
            return code;
        }
    }
    EncodeForWrite(*shown, buffer);
    if (const int code = context.WriteSettings(index, buffer); code != kExitSuccess) {
        return code;
    }
    context.Out << "Device-Settings updated\n";
    return kExitSuccess;
}

}  // namespace quillon::cli
