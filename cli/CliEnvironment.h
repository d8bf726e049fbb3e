#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <iosfwd>
#include <memory>
#include <string>

#include "hid/HidPlatform.h"

namespace quillon::cli {

// What the tool takes from the world around it, so that tests can run it in-process against
// adapters of their own.
struct CliEnvironment {
    // The HID platform: emulatedAdapters < 0 for the real devices, otherwise an emulated bus with
    // that many adapters and nothing else.
    std::function<std::unique_ptr<IHidPlatform>(int emulatedAdapters)> CreatePlatform;
    std::istream* In = nullptr;  // answers to the confirmation
    bool InIsTerminal = false;
    bool ErrIsTerminal = false;  // progress bar rather than progress lines
    // Set when the user interrupts (Ctrl+C); the monitor ends then.
    const std::atomic<bool>* Interrupted = nullptr;
    std::chrono::milliseconds ScanLimit{10000};
    // The station's own records file; empty: the user's, in the user's data folder.
    std::string RecordsFile;
};

// The environment of a real run: the platform factory, standard input and the terminal checks.
CliEnvironment ProcessEnvironment(const std::atomic<bool>* interrupted);

}  // namespace quillon::cli
