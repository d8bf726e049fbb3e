#include <QJsonDocument>
#include <QJsonObject>
#include <QString>

#include "cli/CliContext.h"
#include "config/SettingsAssignment.h"
#include "device/SettingsRecord.h"

namespace quillon::cli {
namespace {

QJsonObject ToJson(const SettingsControlValues& values) {
    const auto enter =
        values.EnterCtrlIndex == kNoEnterCtrl
            ? QJsonValue()
            : QJsonValue(QString::fromLatin1(
                  kEnterControlNames[static_cast<size_t>(values.EnterCtrlIndex)].data()));
    QJsonObject object;
    // The keys of the set command, so that a shown record can be fed back.
    object["version"] = ParseIntegerText(values.VersionText, 0);
    object["baud"] = ParseIntegerText(values.BaudText, 0);
    object["char-delay"] = values.CharDelayMs;
    object["line-delay"] = values.LineDelayMs;
    object["flow"] =
        QString::fromLatin1(kFlowControlNames[static_cast<size_t>(values.FlowCtrlIndex)].data());
    object["enter"] = enter;
    object["alt-key"] = values.UseAltKey;
    object["pavex"] = values.Pavex;
    object["clear-data"] = values.ClrMem;
    object["clear-stx"] = values.ClrStx;
    object["clear-etx"] = values.ClrEtx;
    return object;
}

// The adapter that --device names and its settings record. A command that is going to write
// takes the adapter before it reads anything.
struct AdapterRecord {
    size_t Index = 0;
    ReportBuffer Record{};
};
AdapterResult<AdapterRecord> ReadAdapterSettings(CliContext& context, bool toWrite = false) {
    const auto index = context.SelectAdapter(true, toWrite);
    if (!index) {
        return index.Error();
    }
    const auto record = context.Session().Service(*index).ReadSettings();
    if (!record) {
        return record.Error();
    }
    return AdapterRecord{*index, *record};
}

// Writes the values over the record read and says so.
int WriteSettings(CliContext& context, const SettingsControlValues& values,
                  const AdapterRecord& adapter) {
    if (auto written = context.Session().WriteSettings(adapter.Index, values, adapter.Record);
        !written) {
        return context.Report(written.Error());
    }
    context.Out << kSettingsUpdatedText << "\n";
    return ExitSuccess;
}

}  // namespace

int RunShow(CliContext& context) {
    if (!context.Options.Arguments.empty()) {
        return context.Refuse(ExitUsage, "show takes no arguments");
    }
    const auto adapter = ReadAdapterSettings(context);
    if (!adapter) {
        return context.Report(adapter.Error());
    }
    if (context.Options.Json) {
        context.Out << QJsonDocument(ToJson(*ShownSettings(adapter->Record)))
                           .toJson(QJsonDocument::Indented)
                           .toStdString();
    } else {
        context.Out << DescribeSettings(adapter->Record);
    }
    return ExitSuccess;
}

int RunSet(CliContext& context) {
    std::string error;
    // Every value is checked before any adapter is looked at.
    const auto assignments = ParseAssignments(context.Options.Arguments, error);
    if (!assignments) {
        return context.Refuse(ExitUsage, error);
    }
    const auto adapter = ReadAdapterSettings(context, true);
    if (!adapter) {
        return context.Report(adapter.Error());
    }
    const auto plan = PlanSettings(*ShownSettings(adapter->Record), *assignments);
    if (!plan) {
        return context.Report(plan.Error());
    }
    if (plan->NeedsClearDataConfirmation) {
        if (auto confirmed = context.ConfirmClearData(); !confirmed) {
            return context.Report(confirmed.Error());
        }
    }
    return WriteSettings(context, plan->Values, *adapter);
}

int RunSave(CliContext& context) {
    if (context.Options.Arguments.size() != 1) {
        return context.Refuse(ExitUsage, "save takes one argument, the file");
    }
    const auto adapter = ReadAdapterSettings(context);
    if (!adapter) {
        return context.Report(adapter.Error());
    }
    if (auto saved = SaveSettingsFile(context.Options.Arguments[0], adapter->Record); !saved) {
        return context.Report(saved.Error());
    }
    return ExitSuccess;
}

int RunLoad(CliContext& context) {
    if (context.Options.Arguments.size() != 1) {
        return context.Refuse(ExitUsage, "load takes one argument, the file");
    }
    const std::string& path = context.Options.Arguments[0];
    // The file is read and checked once, before any adapter is looked at.
    const auto file = CheckSettingsFile(path);
    if (!file) {
        return context.Report(file.Error());
    }
    auto adapter = ReadAdapterSettings(context, true);
    if (!adapter) {
        return context.Report(adapter.Error());
    }
    const SettingsControlValues before = *ShownSettings(adapter->Record);
    const SettingsControlValues loaded = LaySettingsFile(*file, adapter->Record);
    if (SwitchesClearDataOn(before, loaded)) {
        if (auto confirmed = context.ConfirmClearData(); !confirmed) {
            return context.Report(confirmed.Error());
        }
    }
    return WriteSettings(context, loaded, *adapter);
}

}  // namespace quillon::cli
