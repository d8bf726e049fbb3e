#pragma once

namespace quillon::cli {

// The tool's exit codes; scripts rely on them, so they never change meaning.
enum ExitCode : int {
    kExitSuccess = 0,
    kExitCancelled = 1,       // the user declined the confirmation; nothing was written
    kExitUsage = 2,           // unknown command or option, bad value; nothing was touched
    kExitNoAdapter = 3,       // no adapter attached, or none matches --device
    kExitNoPermission = 4,    // the adapter's node may not be read and written
    kExitTransferFailed = 5,  // a feature report failed, or the adapter did not do what it was told
    kExitFileRefused = 6,  // configuration or update file missing, unreadable, unwritable, unsound
    kExitAdapterBusy = 7,  // another program is writing to the adapter; nothing was touched
};

}  // namespace quillon::cli
