#pragma once

#include <string>

#include "device/Adapter.h"
#include "device/AdapterService.h"
#include "firmware/UpdateRun.h"

namespace quillon {

// The update file, read and checked in full before any adapter is touched; FileRefused with
// the reason when it is missing, unreadable or not sound.
AdapterResult<> CheckUpdateFile(const std::string& path);

// An update's outcome as the adapter layer's result, its message in words: a refused file is
// FileRefused, a missing device NoAdapter, and a failed report, a wrong checksum or the adapter
// refusing a command are TransferFailed.
AdapterResult<> UpdateOutcomeResult(const firmware::UpdateOutcome& outcome);

// The update through the adapter's service, as a window or a worker runs it. An adapter that
// another program holds gets nothing and fails as one not there.
firmware::UpdateRunner UpdateRunnerFor(AdapterService& adapter);

}  // namespace quillon
