#pragma once

#include <string_view>
#include <vector>

namespace quillon::cli {

class CliContext;

// An option of the tool: its name without the dashes, the value it takes (empty for a switch)
// and its help text.
struct OptionSpec {
    std::string_view Name{};
    std::string_view ValueName{};
    std::string_view Help{};
    // Given to every command (--device, --emulate, ...), not named in a command's own list.
    bool Global = false;
    // What a shell offers for its value: a file of this ending, a word of this list, or
    // nothing but the value's name.
    std::string_view CompletesFiles{};  // "hex", "cfg", "csv"; empty: none
    std::vector<std::string_view> CompletesWords{};
};

// A command of the tool and everything told of it: the parser, `--help`, `COMMAND --help`,
// the shell completion and the dispatch are all made from this one table.
struct CommandSpec {
    std::string_view Name{};
    int (*Run)(CliContext& context) = nullptr;  // nullptr: a command that parses for itself
    std::vector<std::string_view> Options{};    // beside the global ones
    bool Json = false;                          // speaks --json
    std::string_view Synopsis{};                // after "quillon-cli "
    std::string_view Help{};                    // what it does, a line or two
    std::string_view Example{};                 // a whole command line
    // The words a shell offers as its first argument ("get", "set" for raw), and whether its
    // arguments are files of an ending ("hex") or settings.
    std::vector<std::string_view> Subcommands{};
    std::string_view ArgumentFiles{};
    bool TakesSettings = false;
};

const std::vector<OptionSpec>& Options();
const std::vector<CommandSpec>& Commands();
// nullptr for a name that is no command or no option.
const CommandSpec* FindCommand(std::string_view name);
const OptionSpec* FindOption(std::string_view name);

}  // namespace quillon::cli
