#include "cli/CliRunner.h"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <algorithm>
#include <map>
#include <mutex>
#include <set>

#include "base/Log.h"
#include "cli/CliContext.h"
#include "cli/CommandRecords.h"
#include "cli/CommandTable.h"
#include "hid/HidPlatformFactory.h"
#include "ui/QtLogSink.h"

namespace quillon::cli {
namespace {

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

// The commands as --help lists them: each synopsis, its description indented below.
std::string CommandHelp() {
    std::string text = "Commands:\n";
    for (const CommandSpec& command : Commands()) {
        text += "  " + std::string(command.Synopsis) + "\n";
        text += "      " + std::string(command.Help) + "\n";
    }
    return text;
}

// "quillon-cli COMMAND --help": the command's synopsis, what it does, the options it takes
// and an example.
std::string CommandUsage(const CommandSpec& command) {
    std::string text = "Usage: quillon-cli " + std::string(command.Synopsis) + "\n\n" +
                       std::string(command.Help) + "\n\nOptions:\n";
    const auto describe = [&text](const OptionSpec& option) {
        std::string name = "--" + std::string(option.Name);
        if (!option.ValueName.empty()) {
            name += " " + std::string(option.ValueName);
        }
        name.resize(std::max<size_t>(name.size() + 2, 24), ' ');
        text += "  " + name + std::string(option.Help) + "\n";
    };
    for (const std::string_view name : command.Options) {
        describe(*FindOption(name));
    }
    for (const OptionSpec& option : Options()) {
        if (option.Global && (option.Name != "json" || command.Json)) {
            describe(option);
        }
    }
    return text + "\nExample:\n  " + std::string(command.Example) + "\n";
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

CliResult<CommandLine> ParseCommandLine(const QStringList& arguments) {
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QString("Configures and updates Quillon adapters from a shell.\n\n") +
        QString::fromStdString(CommandHelp()));
    std::map<std::string_view, QCommandLineOption> qtOptions;
    for (const OptionSpec& entry : Options()) {
        QStringList names{
            QString::fromUtf8(entry.Name.data(), static_cast<qsizetype>(entry.Name.size()))};
        if (entry.Name == "help") {
            names.prepend("h");
        }
        const QString help =
            QString::fromUtf8(entry.Help.data(), static_cast<qsizetype>(entry.Help.size()));
        const QString value = QString::fromUtf8(entry.ValueName.data(),
                                                static_cast<qsizetype>(entry.ValueName.size()));
        const auto [made, added] =
            qtOptions.emplace(entry.Name, value.isEmpty() ? QCommandLineOption(names, help)
                                                          : QCommandLineOption(names, help, value));
        parser.addOption(made->second);
    }
    const QCommandLineOption& help = qtOptions.at("help");
    const QCommandLineOption& version = qtOptions.at("version");
    const QCommandLineOption& device = qtOptions.at("device");
    const QCommandLineOption& json = qtOptions.at("json");
    const QCommandLineOption& emulate = qtOptions.at("emulate");
    const QCommandLineOption& verbose = qtOptions.at("verbose");
    const QCommandLineOption& all = qtOptions.at("all");
    const QCommandLineOption& yes = qtOptions.at("yes");
    const QCommandLineOption& length = qtOptions.at("length");
    const QCommandLineOption& count = qtOptions.at("count");
    const QCommandLineOption& duration = qtOptions.at("duration");
    const QCommandLineOption& firmwareFile = qtOptions.at("firmware");
    const QCommandLineOption& configFile = qtOptions.at("config");
    const QCommandLineOption& setting = qtOptions.at("set");
    const QCommandLineOption& logFile = qtOptions.at("log");
    const QCommandLineOption& allPresent = qtOptions.at("all-present");
    const QCommandLineOption& recordsAt = qtOptions.at("records");
    parser.addPositionalArgument("command", "One of the commands listed above.",
                                 "COMMAND [ARGS...]");

    const auto usageError = [](const QString& message) {
        return Failure<ExitCode>{ExitUsage, message.toStdString()};
    };
    CommandLine line;

    if (!parser.parse(WithEmulateDefault(arguments))) {
        return usageError(parser.errorText());
    }
    const QStringList positional = parser.positionalArguments();
    if (parser.isSet(help)) {
        if (!positional.isEmpty()) {
            if (const CommandSpec* command = FindCommand(positional.first().toStdString())) {
                line.Text = CommandUsage(*command) + "\n" + kExitCodeHelp;
                return line;
            }
        }
        line.Text = parser.helpText().toStdString() + "\n" + kExitCodeHelp;
        return line;
    }
    if (parser.isSet(version)) {
        line.Text = "quillon-cli " + QCoreApplication::applicationVersion().toStdString() + "\n";
        return line;
    }

    if (positional.isEmpty()) {
        return usageError("no command given");
    }
    CliOptions options;
    options.Command = positional.first().toStdString();
    const CommandSpec* command = FindCommand(options.Command);
    if (command == nullptr) {
        return usageError("unknown command \"" + positional.first() + "\"");
    }
    for (qsizetype i = 1; i < positional.size(); ++i) {
        options.Arguments.push_back(positional[i].toStdString());
    }
    for (const OptionSpec& entry : Options()) {
        if (!entry.Global && parser.isSet(qtOptions.at(entry.Name)) &&
            std::find(command->Options.begin(), command->Options.end(), entry.Name) ==
                command->Options.end()) {
            return usageError(QString("--%1 does not apply to %2")
                                  .arg(QString::fromUtf8(entry.Name.data(),
                                                         static_cast<qsizetype>(entry.Name.size())),
                                       positional.first()));
        }
    }
    if (parser.isSet(json) && !command->Json) {
        std::string speaking;
        for (const CommandSpec& each : Commands()) {
            if (each.Json) {
                speaking += (speaking.empty() ? "" : ", ") + std::string(each.Name);
            }
        }
        return usageError(QString::fromStdString("--json applies to " + speaking));
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
        if (!ParseNumber(parser.value(length), 1, static_cast<long>(kReportBufferSize), number)) {
            return usageError(QString("--length takes 1 to %1").arg(kReportBufferSize));
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
    options.Records = parser.value(recordsAt).toStdString();

    line.Options = std::move(options);
    return line;
}

int RunCli(const QStringList& arguments, std::ostream& out, std::ostream& err,
           const CliEnvironment& env) {
    // The records have options of their own and touch no adapter.
    if (IsRecordsCommand(arguments)) {
        return RunRecords(arguments, out, err);
    }
    auto line = ParseCommandLine(arguments);
    if (!line) {
        err << "quillon-cli: " << line.Error().Message << "\n"
            << "Try quillon-cli --help.\n";
        return ExitUsage;
    }
    if (!line->Options) {
        out << line->Text;
        return ExitSuccess;
    }
    CliOptions& options = *line->Options;
    // Without --verbose the messages go to Qt's logging categories, off unless switched on.
    ScopedLogSink logging(options.Verbose ? VerboseSink(err) : QtLogSink());

    const CommandSpec* command = FindCommand(options.Command);
    CliContext context(out, err, env, std::move(options));
    const int code = command->Run(context);
    out << std::flush;
    return code;
}

}  // namespace quillon::cli
