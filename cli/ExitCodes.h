#pragma once

namespace quillon::cli {

// The tool's exit codes; scripts rely on them, so they never change meaning.
enum ExitCode : int {
    ExitSuccess = 0,
    ExitCancelled = 1,       // the user declined the confirmation; nothing was written
    ExitUsage = 2,           // unknown command or option, bad value; nothing was touched
    ExitNoAdapter = 3,       // no adapter attached, or none matches --device
    ExitNoPermission = 4,    // the adapter's node may not be read and written
    ExitTransferFailed = 5,  // a feature report failed, or the adapter did not do what it was told
    ExitFileRefused = 6,  // configuration or update file missing, unreadable, unwritable, unsound
    ExitAdapterBusy = 7,  // another program is writing to the adapter; nothing was touched
};

}  // namespace quillon::cli
