#pragma once

#include <functional>
#include <string>
#include <vector>

#include "device/AdapterService.h"
#include "firmware/UpdateRun.h"

namespace quillon {

// What a flash run tells its caller, one event at a time.
struct FlashEvent {
    size_t Device = 0;                // index into the devices handed to FlashDevices
    int Block = -1;                   // the block about to be written (0 to 19); -1 for the outcome
    firmware::UpdateOutcome Outcome;  // set when Block is -1
};

// Updates every device from the same update file, each on its own thread, and returns each
// one's outcome in the order given. onEvent runs on the calling thread, for every block and
// every outcome, in the order they happened; it may print freely.
//
// A device's feature transfers belong to the thread that owns the controller. While the
// workers run, the calling thread (that owner) only waits here: it runs no event loop, so no
// scan, unplug or reader hand-over can touch the devices, and each device is used by exactly
// one worker. The devices must have no reader of their own running. Starting and joining the
// threads orders each worker's use of its device against the owner's before and after.
std::vector<firmware::UpdateOutcome> FlashDevices(
    const std::vector<AdapterService*>& devices, const std::string& updateFile,
    const std::function<void(const FlashEvent&)>& onEvent = {});

}  // namespace quillon
