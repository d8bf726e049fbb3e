#include "cli/CliRunner.h"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <map>
#include <mutex>
#include <set>

#include "cli/CliContext.h"
#include "cli/CommandRecords.h"
#include "cli/QtLogSink.h"
#include "hid/HidPlatformFactory.h"
#include "hid/Log.h"

namespace quillon::cli {
namespace {

const char* const kCommandHelp =
    "Commands:\n"
    "  list [--all]              adapters (--all: every HID device): index, node, IDs,\n"
    "                            version, strings, whether it can be written and why not\n"
    "  show                      the adapter's settings\n"
    "  set KEY=VALUE ...         change settings: baud, char-delay, line-delay, flow, enter,\n"
    "                            alt-key, pavex, clear-data, clear-stx, clear-etx\n"
    "  save FILE                 save the adapter's settings as a 64-byte configuration file\n"
    "  load FILE                 write a configuration file's settings to the adapter\n"
    "  flash FILE [--all]        update the firmware from an Intel HEX file\n"
    "  raw get ID [--length N]   read feature report ID (hexadecimal)\n"
    "  raw set ID BYTE ...       write feature report ID with the bytes given (hexadecimal)\n"
    "  monitor [--count N] [--duration S]\n"
    "                            print input reports with a time stamp\n"
    "  reset                     send the reset report 06 00 00 00\n"
    "  provision [--firmware FILE] [--config FILE | --set KEY=VALUE ...] [--log FILE]\n"
    "            [--count N] [--all-present]\n"
    "                            wait for adapters and update, configure and check each one\n"
    "                            as it is plugged in, several at once\n"
    "  records [summary] ...     the provisioning records (quillon-cli records --help)\n";

const char* const kExitCodeHelp =
    "Exit codes:\n"
    "  0  success\n"
    "  1  cancelled at the confirmation; nothing written\n"
    "  2  usage error: unknown command or option, bad value; nothing touched\n"
    "  3  no adapter attached, or none matches --device\n"
#ifdef _WIN32
    "  4  no permission to read and write the adapter (the system or another program holds it)\n"
#else
    "  4  no permission to read and write the adapter (udev rule missing)\n"
#endif
    "  5  transfer failure: a report failed or the adapter did not take it\n"
    "  6  file refused: missing, unreadable, unwritable or not a valid file\n"
    "  7  the adapter is in use by another program; nothing touched\n";

// Which options each command accepts, beside the global ones.
const std::map<std::string, std::set<std::string>>& CommandOptions() {
    static const std::map<std::string, std::set<std::string>> table = {
        {"list", {"all"}},
        {"show", {}},
        {"set", {"yes"}},
        {"save", {}},
        {"load", {"yes"}},
        {"flash", {"all"}},
        {"raw", {"length"}},
        {"monitor", {"count", "duration"}},
        {"reset", {}},
        {"provision", {"count", "yes", "firmware", "config", "set", "log", "all-present"}},
    };
    return table;
}

// "--emulate" alone means one emulated adapter; the parser knows only options with a value.
QStringList WithEmulateDefault(QStringList arguments) {
    for (QString& argument : arguments) {
        if (argument == "--emulate") {
            argument = "--emulate=1";
        }
    }
    return arguments;
}

bool ParseNumber(const QString& text, long low, long high, long& value) {
    bool ok = false;
    value = text.toLong(&ok);
    return ok && value >= low && value <= high;
}

// Logs every message of every category on the error stream, one line each, also from the
// update's threads.
LogSink VerboseSink(std::ostream& err) {
    auto mutex = std::make_shared<std::mutex>();
    LogSink sink;
    sink.Write = [&err, mutex](LogCategory category, std::string_view message) {
        std::lock_guard lock(*mutex);
        err << "[" << LogCategoryName(category) << "] " << message << "\n" << std::flush;
    };
    return sink;
}

}  // namespace

const char* ExitCodeHelp() {
    return kExitCodeHelp;
}

int RunCli(const QStringList& arguments, std::ostream& out, std::ostream& err,
           const CliEnvironment& env) {
    // The records have options of their own and touch no adapter.
    if (IsRecordsCommand(arguments)) {
        return RunRecords(arguments, out, err);
    }
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QString("Configures and updates Quillon adapters from a shell.\n\n") + kCommandHelp);
    const QCommandLineOption help({"h", "help"}, "Show this help and the exit codes.");
    const QCommandLineOption version("version", "Show the version.");
    const QCommandLineOption device("device",
                                    "The adapter: its node or path, or its index in "
                                    "the list (default: the first adapter).",
                                    "PATH|INDEX");
    const QCommandLineOption json("json", "Machine-readable output for list, show and flash.");
    const QCommandLineOption emulate(
        "emulate", "--emulate[=N]: work on N emulated adapters (default 1), not the real ones.",
        "N");
    const QCommandLineOption verbose("verbose", "Log every transfer on the error stream.");
    const QCommandLineOption all("all", "list: every HID device; flash: every adapter at once.");
    const QCommandLineOption yes("yes", "Set clear-data=on without asking.");
    const QCommandLineOption length("length",
                                    "raw: the report length, report ID included "
                                    "(default: the adapter's).",
                                    "N");
    const QCommandLineOption count(
        "count", "monitor: stop after N reports; provision: after N adapters.", "N");
    const QCommandLineOption duration("duration", "monitor: stop after S seconds.", "S");
    const QCommandLineOption firmwareFile("firmware", "provision: the update file.", "FILE");
    const QCommandLineOption configFile("config", "provision: the configuration file.", "FILE");
    const QCommandLineOption setting("set", "provision: a setting to write (KEY=VALUE).",
                                     "KEY=VALUE");
    const QCommandLineOption logFile("log", "provision: the CSV file every adapter is logged to.",
                                     "FILE");
    const QCommandLineOption allPresent("all-present",
                                        "provision: also the adapters present at the start.");
    for (const auto* option :
         {&help, &version, &device, &json, &emulate, &verbose, &all, &yes, &length, &count,
          &duration, &firmwareFile, &configFile, &setting, &logFile, &allPresent}) {
        parser.addOption(*option);
    }
    parser.addPositionalArgument("command", "One of the commands below.", "COMMAND [ARGS...]");

    const auto usageError = [&](const QString& message) {
        err << "quillon-cli: " << message.toStdString() << "\n"
            << "Try quillon-cli --help.\n";
        return kExitUsage;
    };

    if (!parser.parse(WithEmulateDefault(arguments))) {
        return usageError(parser.errorText());
    }
    if (parser.isSet(help)) {
        out << parser.helpText().toStdString() << "\n" << kExitCodeHelp;
        return kExitSuccess;
    }
    if (parser.isSet(version)) {
        out << "quillon-cli " << QCoreApplication::applicationVersion().toStdString() << "\n";
        return kExitSuccess;
    }

    const QStringList positional = parser.positionalArguments();
    if (positional.isEmpty()) {
        return usageError("no command given");
    }
    CliOptions options;
    options.Command = positional.first().toStdString();
    const auto accepted = CommandOptions().find(options.Command);
    if (accepted == CommandOptions().end()) {
        return usageError("unknown command \"" + positional.first() + "\"");
    }
    for (qsizetype i = 1; i < positional.size(); ++i) {
        options.Arguments.push_back(positional[i].toStdString());
    }
    for (const auto& [name, option] :
         std::map<std::string, const QCommandLineOption*>{{"all", &all},
                                                          {"yes", &yes},
                                                          {"length", &length},
                                                          {"count", &count},
                                                          {"duration", &duration},
                                                          {"firmware", &firmwareFile},
                                                          {"config", &configFile},
                                                          {"set", &setting},
                                                          {"log", &logFile},
                                                          {"all-present", &allPresent}}) {
        if (parser.isSet(*option) && accepted->second.count(name) == 0) {
            return usageError(QString("--%1 does not apply to %2")
                                  .arg(QString::fromStdString(name), positional.first()));
        }
    }
    if (parser.isSet(json) && options.Command != "list" && options.Command != "show" &&
        options.Command != "flash" && options.Command != "provision") {
        return usageError("--json applies to list, show, flash and provision");
    }

    options.Device = parser.value(device).toStdString();
    options.Json = parser.isSet(json);
    options.Verbose = parser.isSet(verbose);
    options.All = parser.isSet(all);
    options.Yes = parser.isSet(yes);
    long number = 0;
    if (parser.isSet(emulate)) {
        if (!ParseNumber(parser.value(emulate), 0, kMaxEmulatedAdapters, number)) {
            return usageError(
                QString("--emulate takes 0 to %1 adapters").arg(kMaxEmulatedAdapters));
        }
        options.Emulate = static_cast<int>(number);
    }
    if (parser.isSet(length)) {
        if (!ParseNumber(parser.value(length), 1, static_cast<long>(ReportBufferSize), number)) {
            return usageError(QString("--length takes 1 to %1").arg(ReportBufferSize));
        }
        options.Length = static_cast<int>(number);
    }
    if (parser.isSet(count)) {
        if (!ParseNumber(parser.value(count), 1, 1000000000L, number)) {
            return usageError(options.Command == "provision"
                                  ? "--count takes a number of adapters from 1"
                                  : "--count takes a number of reports from 1");
        }
        options.Count = number;
    }
    if (parser.isSet(duration)) {
        bool ok = false;
        const double seconds = parser.value(duration).toDouble(&ok);
        if (!ok || !(seconds > 0) || seconds > 31536000) {
            return usageError("--duration takes a number of seconds above 0");
        }
        options.Duration = seconds;
    }

    options.Firmware = parser.value(firmwareFile).toStdString();
    options.Config = parser.value(configFile).toStdString();
    for (const QString& value : parser.values(setting)) {
        options.Sets.push_back(value.toStdString());
    }
    options.LogFile = parser.value(logFile).toStdString();
    options.AllPresent = parser.isSet(allPresent);

    // Without --verbose the messages go to Qt's logging categories, off unless switched on.
    ScopedLogSink logging(options.Verbose ? VerboseSink(err) : QtLogSink());

    CliContext context(out, err, env, std::move(options));
    static const std::map<std::string, int (*)(CliContext&)> commands = {
        {"list", RunList},   {"show", RunShow},           {"set", RunSet}, {"save", RunSave},
        {"load", RunLoad},   {"flash", RunFlash},         {"raw", RunRaw}, {"monitor", RunMonitor},
        {"reset", RunReset}, {"provision", RunProvision},
    };
    const int code = commands.at(context.Options.Command)(context);
    out << std::flush;
    return code;
}

}  // namespace quillon::cli
