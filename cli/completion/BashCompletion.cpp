#include "cli/completion/BashCompletion.h"

#include "cli/CommandTable.h"
#include "config/SettingsAssignment.h"

namespace quillon::cli {
namespace {

std::string Join(const auto& items, const std::string& prefix = {},
                 const std::string& suffix = {}) {
    std::string text;
    for (const auto& item : items) {
        text += (text.empty() ? "" : " ") + prefix + std::string(item) + suffix;
    }
    return text;
}

// A case arm: "    pattern) body ;;".
std::string Arm(const std::string& pattern, const std::string& body) {
    return "        " + pattern + ") " + body + " ;;\n";
}

}  // namespace

std::string BashCompletionScript() {
    std::string valued;
    std::string globals;
    std::string optionValues;
    for (const OptionSpec& option : Options()) {
        const std::string name = "--" + std::string(option.Name);
        if (option.Global) {
            globals += (globals.empty() ? "" : " ") + name;
        }
        if (option.ValueName.empty()) {
            continue;
        }
        valued += (valued.empty() ? "" : " ") + name;
        if (!option.CompletesFiles.empty()) {
            optionValues += Arm(name, "_quillon_cli_files " + std::string(option.CompletesFiles));
        } else if (!option.CompletesWords.empty()) {
            optionValues += Arm(name, "_quillon_cli_words \"" + Join(option.CompletesWords) + "\"");
        } else if (option.Name == "set") {
            optionValues += Arm(name, "_quillon_cli_settings");
        } else {
            optionValues += Arm(name, "return 0");
        }
    }

    std::string commands;
    std::string commandOptions;
    std::string commandArguments;
    for (const CommandSpec& command : Commands()) {
        const std::string name(command.Name);
        commands += (commands.empty() ? "" : " ") + name;
        commandOptions += Arm(name, "opts=\"" + Join(command.Options, "--") + "\"");
        if (!command.Subcommands.empty()) {
            commandArguments += Arm(name, "[[ $nargs -eq 0 ]] && _quillon_cli_words \"" +
                                              Join(command.Subcommands) + "\"");
        } else if (!command.ArgumentFiles.empty()) {
            commandArguments += Arm(name, "[[ $nargs -eq 0 ]] && _quillon_cli_files " +
                                              std::string(command.ArgumentFiles));
        } else if (command.TakesSettings) {
            commandArguments += Arm(name, "_quillon_cli_settings");
        }
    }

    std::string settingValues;
    for (const std::string& key : SettingNames()) {
        settingValues += Arm(key, "values=\"" + Join(SettingValueWords(key)) + "\"");
    }

    return R"(# bash completion for quillon-cli
# Made from the tool's own command table by the build; do not edit.

# The words are plain (no blanks), so the default splitting serves both ways.
_quillon_cli_words() {
    COMPREPLY=($(compgen -W "$1" -- "$cur"))
}

# Files of one ending, and folders to go on into.
_quillon_cli_files() {
    local IFS=$'\n'
    compopt -o filenames 2>/dev/null
    COMPREPLY=($(compgen -f -X "!*.$1" -- "$cur") $(compgen -d -- "$cur"))
}

# KEY= first, then the key's values; bash splits the word at '=', so the part before it is
# taken off the offers again.
_quillon_cli_settings() {
    if [[ $cur != *=* ]]; then
        compopt -o nospace 2>/dev/null
        _quillon_cli_words ")" +
           Join(SettingNames(), "", "=") + R"("
        return
    fi
    local key=${cur%%=*} values=""
    case "$key" in
)" + settingValues +
           R"(    esac
    local value
    COMPREPLY=()
    for value in $(compgen -W "$values" -- "${cur#*=}"); do
        if [[ $COMP_WORDBREAKS == *=* ]]; then
            COMPREPLY+=("$value")
        else
            COMPREPLY+=("$key=$value")
        fi
    done
}

_quillon_cli() {
    local line=${COMP_LINE:0:$COMP_POINT}
    local cur=${line##*[[:space:]]}
    local -a words
    read -r -a words <<< "${line:0:$((${#line} - ${#cur}))}"
    local valued=")" +
           valued + R"("
    local cmd="" prev="" nargs=0 word skip=0
    for word in "${words[@]:1}"; do
        prev=$word
        if [[ $skip -eq 1 ]]; then
            skip=0
            prev="<value>"
            continue
        fi
        if [[ $word == --* ]]; then
            [[ $word != *=* && " $valued " == *" $word "* ]] && skip=1
        elif [[ -z $cmd ]]; then
            cmd=$word
        else
            nargs=$((nargs + 1))
        fi
    done
    if [[ $skip -eq 1 && $cur != -* ]]; then
        case "$prev" in
)" + optionValues +
           R"(        esac
        return 0
    fi
    if [[ $cur == -* ]]; then
        local opts=""
        case "$cmd" in
)" + commandOptions +
           R"(        esac
        _quillon_cli_words "$opts )" +
           globals + R"("
        return 0
    fi
    if [[ -z $cmd ]]; then
        _quillon_cli_words ")" +
           commands + R"("
        return 0
    fi
    case "$cmd" in
)" + commandArguments +
           R"(    esac
    return 0
}

complete -F _quillon_cli quillon-cli
)";
}

}  // namespace quillon::cli
