#include <QString>
#include <QStringList>
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "cli/CliRunner.h"
#include "cli/CommandTable.h"
#include "config/SettingsAssignment.h"
#include "device/HexText.h"

// Any words as the tool's command line, parsed as far as the tool goes before it looks for an
// adapter: the options, their values, the settings and the bytes of a raw report. A line that
// parses names a command of the table and only options that command takes.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace quillon;
    QStringList arguments{"quillon-cli"};
    QByteArray word;
    for (size_t i = 0; i <= size; ++i) {
        if (i == size || data[i] == 0) {
            arguments.append(QString::fromUtf8(word));
            word.clear();
        } else {
            word.append(static_cast<char>(data[i]));
        }
    }
    const auto line = cli::ParseCommandLine(arguments);
    if (!line) {
        if (line.Error().Message.empty()) {
            std::abort();
        }
        return 0;
    }
    if (!line->Options) {
        return line->Text.empty() ? (std::abort(), 0) : 0;
    }
    const cli::CliOptions& options = *line->Options;
    const cli::CommandSpec* command = cli::FindCommand(options.Command);
    if (command == nullptr || (options.Json && !command->Json)) {
        std::abort();
    }
    const auto takes = [&](std::string_view name) {
        return std::find(command->Options.begin(), command->Options.end(), name) !=
               command->Options.end();
    };
    if ((options.All && !takes("all")) || (options.Length && !takes("length")) ||
        (options.Count && !takes("count")) || (!options.Firmware.empty() && !takes("firmware"))) {
        std::abort();
    }
    std::string error;
    if (command->TakesSettings) {
        if (!ParseAssignments(options.Arguments, error) && error.empty()) {
            std::abort();
        }
    }
    for (const std::string& argument : options.Arguments) {
        (void)ParseHexByteStrict(argument);
    }
    return 0;
}
