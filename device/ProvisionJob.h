#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "device/Adapter.h"
#include "device/ProvisionPlan.h"
#include "hid/HidPlatform.h"
#include "hid/HidTypes.h"

namespace quillon {

// One step of a job.
struct StepResult {
    enum class State { NotRun, Passed, Failed };
    State Outcome = State::NotRun;
    std::string Detail;  // what went wrong, or what was done

    bool Failed() const { return Outcome == State::Failed; }
};

// "ok", "failed", or empty for a step that did not run: the step's word in the log and in JSON.
const char* StepText(const StepResult& step);

// What a job did to one adapter: the station's output line, its JSON object and its log record.
struct ProvisionRecord {
    std::string Path;     // the node the job opened
    std::string UsbPath;  // where the adapter sits on the USB bus; empty when unknown
    HidIdentity Identity;
    std::optional<uint16_t> VersionAfter;  // the version number the adapter gave at the end
    std::u16string Manufacturer;
    std::u16string Product;
    StepResult Update;
    StepResult Settings;
    StepResult Verify;
    std::string SettingsWritten;         // "baud=19200 char-delay=0 ..."; empty when none were
    std::vector<uint8_t> SettingsBytes;  // the record written, bytes 0 to 63; empty: none
    bool Passed = false;
    AdapterError FailureKind = AdapterError::TransferFailed;  // why it failed, when it did
    std::string Reason;  // why it failed, in words; empty on a pass
    std::chrono::system_clock::time_point Started;
    std::chrono::milliseconds Took{0};
    // It failed because the adapter had left the bus.
    bool Pulled = false;
};

// Where a job stands, for the live display; written by the job, read by the station's thread.
struct ProvisionProgress {
    enum Step : int { Opening, Updating, WritingSettings, Verifying, Done };
    std::atomic<int> CurrentStep{Opening};
    std::atomic<int> Block{0};  // the update's block in progress, 0 to 19
    // Set by the station to end the job at its next transfer, which then fails.
    std::atomic<bool> Abandon{false};
};

// Where a job stands in words: "opening", "updating, block 7 of 20", "writing the settings"...
std::string ProgressText(int step, int block);

// Provisions the adapter behind info on the calling thread: opens a handle of its own (so no
// device object is shared with the thread that keeps scanning), holds the adapter for the whole
// job, updates the firmware, writes the settings and reads them back. seen is the identity the
// scan found, kept when the adapter cannot be opened. Never throws.
ProvisionRecord RunProvisionJob(IHidPlatform& platform, const THidPnPInfo& info,
                                const HidIdentity& seen, const ProvisionPlan& plan,
                                ProvisionProgress& progress);

}  // namespace quillon
