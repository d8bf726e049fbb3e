#include "cli/CliEnvironment.h"

#include <unistd.h>

#include <iostream>

#include "hid/HidPlatformFactory.h"

namespace quillon::cli {

CliEnvironment ProcessEnvironment(const std::atomic<bool>* interrupted) {
    CliEnvironment env;
    env.CreatePlatform = [](int emulatedAdapters) {
        HidPlatformChoice choice;
        choice.RealDevices = emulatedAdapters < 0;
        choice.EmulatedAdapters = emulatedAdapters < 0 ? 0 : emulatedAdapters;
        return CreateHidPlatform(choice);
    };
    env.In = &std::cin;
    env.InIsTerminal = ::isatty(STDIN_FILENO) == 1;
    env.ErrIsTerminal = ::isatty(STDERR_FILENO) == 1;
    env.Interrupted = interrupted;
    return env;
}

}  // namespace quillon::cli
