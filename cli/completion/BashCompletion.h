#pragma once

#include <string>

namespace quillon::cli {

// The bash completion script of quillon-cli, made from its command table so that it offers
// exactly the commands, options, settings and files the tool takes.
std::string BashCompletionScript();

}  // namespace quillon::cli
