#include "cli/CommandTable.h"

#include <algorithm>

#include "cli/CliContext.h"

namespace quillon::cli {

const std::vector<OptionSpec>& Options() {
    static const std::vector<OptionSpec> options = {
        {.Name = "help",
         .Help = "Show the help (of a command, after its name) and the exit codes.",
         .Global = true},
        {.Name = "version", .Help = "Show the version.", .Global = true},
        {.Name = "device",
         .ValueName = "PATH|INDEX",
         .Help = "The adapter: its node or path, or its index in the list (default: the first "
                 "adapter).",
         .Global = true},
        {.Name = "json",
         .Help = "Machine-readable output (list, show, flash, provision).",
         .Global = true},
        {.Name = "emulate",
         .ValueName = "N",
         .Help = "--emulate[=N]: work on N emulated adapters (default 1), not the real ones.",
         .Global = true,
         .CompletesWords = {"1", "2", "4", "8"}},
        {.Name = "verbose", .Help = "Log every transfer on the error stream.", .Global = true},
        {.Name = "all", .Help = "list: every HID device; flash: every adapter at once."},
        {.Name = "yes", .Help = "Set clear-data=on without asking."},
        {.Name = "length",
         .ValueName = "N",
         .Help = "raw: the report length, report ID included (default: the adapter's)."},
        {.Name = "count",
         .ValueName = "N",
         .Help = "monitor: stop after N reports; provision: after N adapters."},
        {.Name = "duration", .ValueName = "S", .Help = "monitor: stop after S seconds."},
        {.Name = "firmware",
         .ValueName = "FILE",
         .Help = "provision: the update file.",
         .CompletesFiles = "hex"},
        {.Name = "config",
         .ValueName = "FILE",
         .Help = "provision: the configuration file.",
         .CompletesFiles = "cfg"},
        {.Name = "set", .ValueName = "KEY=VALUE", .Help = "provision: a setting to write."},
        {.Name = "log",
         .ValueName = "FILE",
         .Help = "provision: the CSV file every adapter is logged to.",
         .CompletesFiles = "csv"},
        {.Name = "all-present", .Help = "provision: also the adapters present at the start."},
        {.Name = "records",
         .ValueName = "PATH|URL",
         .Help = "provision: the station's records file (default: the user's), or a line's "
                 "server (postgresql://...) to forward every record to",
         .CompletesFiles = "db"},
    };
    return options;
}

const std::vector<CommandSpec>& Commands() {
    static const std::vector<CommandSpec> commands = {
        {.Name = "list",
         .Run = RunList,
         .Options = {"all"},
         .Json = true,
         .Synopsis = "list [--all]",
         .Help = "adapters (--all: every HID device): index, node, IDs, version, strings, "
                 "whether it can be written and why not",
         .Example = "quillon-cli list --all --json"},
        {.Name = "show",
         .Run = RunShow,
         .Json = true,
         .Synopsis = "show",
         .Help = "the adapter's settings, in words and numbers",
         .Example = "quillon-cli show --device 1"},
        {.Name = "set",
         .Run = RunSet,
         .Options = {"yes"},
         .Synopsis = "set KEY=VALUE ...",
         .Help = "change settings: baud, char-delay, line-delay, flow, enter, alt-key, pavex, "
                 "clear-data, clear-stx, clear-etx",
         .Example = "quillon-cli set baud=9600 char-delay=20 enter=CR",
         .TakesSettings = true},
        {.Name = "save",
         .Run = RunSave,
         .Synopsis = "save FILE",
         .Help = "save the adapter's settings as a 64-byte configuration file",
         .Example = "quillon-cli save adapter.cfg",
         .ArgumentFiles = "cfg"},
        {.Name = "load",
         .Run = RunLoad,
         .Options = {"yes"},
         .Synopsis = "load FILE",
         .Help = "write a configuration file's settings to the adapter, checked in full first",
         .Example = "quillon-cli load adapter.cfg",
         .ArgumentFiles = "cfg"},
        {.Name = "flash",
         .Run = RunFlash,
         .Options = {"all"},
         .Json = true,
         .Synopsis = "flash FILE [--all]",
         .Help = "update the firmware from an Intel HEX file (--all: every adapter at once)",
         .Example = "quillon-cli flash firmware.hex --all",
         .ArgumentFiles = "hex"},
        {.Name = "raw",
         .Run = RunRaw,
         .Options = {"length"},
         .Synopsis = "raw get ID [--length N] | raw set ID BYTE ...",
         .Help = "read or write feature report ID (hexadecimal bytes)",
         .Example = "quillon-cli raw set 03 01 00 08",
         .Subcommands = {"get", "set"}},
        {.Name = "monitor",
         .Run = RunMonitor,
         .Options = {"count", "duration"},
         .Synopsis = "monitor [--count N] [--duration S]",
         .Help = "print input reports with a time stamp",
         .Example = "quillon-cli monitor --count 10"},
        {.Name = "reset",
         .Run = RunReset,
         .Synopsis = "reset",
         .Help = "send the reset report 06 00 00 00",
         .Example = "quillon-cli reset"},
        {.Name = "provision",
         .Run = RunProvision,
         .Options = {"count", "yes", "firmware", "config", "set", "log", "all-present", "records"},
         .Json = true,
         .Synopsis = "provision [--firmware FILE] [--config FILE | --set KEY=VALUE ...] "
                     "[--log FILE] [--records PATH|URL] [--count N] [--all-present]",
         .Help = "wait for adapters and update, configure and check each one as it is plugged "
                 "in, several at once",
         .Example = "quillon-cli provision --firmware firmware.hex --config adapter.cfg --log "
                    "station.csv",
         .TakesSettings = true},
        // The records have a parser of their own (RunRecords), which runs before this table's.
        {.Name = "records",
         .Synopsis = "records [summary] [--records PATH|URL] ...",
         .Help = "the provisioning records of a station's file or a line's server (quillon-cli "
                 "records --help)",
         .Example = "quillon-cli records summary --by firmware"},
    };
    return commands;
}

const CommandSpec* FindCommand(std::string_view name) {
    const auto& commands = Commands();
    const auto found = std::find_if(commands.begin(), commands.end(),
                                    [&](const CommandSpec& c) { return c.Name == name; });
    return found == commands.end() ? nullptr : &*found;
}

const OptionSpec* FindOption(std::string_view name) {
    const auto& options = Options();
    const auto found = std::find_if(options.begin(), options.end(),
                                    [&](const OptionSpec& o) { return o.Name == name; });
    return found == options.end() ? nullptr : &*found;
}

}  // namespace quillon::cli
