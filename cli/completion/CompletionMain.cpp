#include <iostream>

#include "cli/completion/BashCompletion.h"

// Writes the bash completion script of quillon-cli to the standard output; the build installs
// what it writes.
int main() {
    std::cout << quillon::cli::BashCompletionScript();
    return std::cout ? 0 : 1;
}
