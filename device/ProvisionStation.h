#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <list>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "base/PlainEventLoop.h"
#include "device/ProvisionJob.h"
#include "hid/HidPlatform.h"

namespace quillon {

// An adapter whose job is running, as the live display shows it.
struct LiveJob {
    std::string Path;
    int Step = ProvisionProgress::Opening;
    int Block = 0;
    std::chrono::milliseconds Running{0};
};

// What the station tells its caller; everything runs on the thread that called Run.
struct StationEvents {
    // A job begins on the adapter behind info, which the scan identified as identity.
    std::function<void(const THidPnPInfo& info, const HidIdentity& identity)> Started;
    std::function<void(const ProvisionRecord&)> Finished;
    // The jobs in progress, a few times a second while there are any.
    std::function<void(const std::vector<LiveJob>&)> Progress;
    // A new adapter that is left alone because --count adapters are taken already.
    std::function<void(const std::string& path)> LeftAlone;
};

// Waits for adapters and provisions each new one on a thread of its own, several at once.
//
// An adapter is new when its interface (path and instance handle) was not present at the
// previous scan; with allPresent the adapters there at the start count as new. One that vanishes
// and comes back is new again: the station keeps no memory of what it did. The thread that calls
// Run owns the loop: it watches for device changes, scans (with query-only opens, so that it
// never competes with a job for an adapter), starts the jobs and reports what they did; a job
// touches nothing but its own handle, its progress and, once, its finished record.
class ProvisionStation {
  public:
    struct Options {
        std::optional<long> Count;  // end after this many adapters finished
        bool AllPresent = false;
        // Once set, the jobs in progress end at their next transfer, failing, and the run ends
        // as when interrupted: an operator's "stop at once".
        const std::atomic<bool>* Abandon = nullptr;
    };

    ProvisionStation(IHidPlatform& platform, const ProvisionPlan& plan, Options options);
    // Waits for the jobs still running.
    ~ProvisionStation();
    ProvisionStation(const ProvisionStation&) = delete;
    ProvisionStation& operator=(const ProvisionStation&) = delete;

    // Runs until Count adapters have finished, or, once interrupted is set, until the jobs in
    // progress have finished (no new one starts then).
    void Run(const std::atomic<bool>* interrupted, const StationEvents& events);

  private:
    using Key = std::pair<std::string, uint32_t>;  // interface path, instance handle

    struct Job {
        THidPnPInfo Info;
        HidIdentity Identity;
        ProvisionProgress Progress;
        std::chrono::steady_clock::time_point Start;
        std::thread Thread;
        bool Finished = false;   // guarded by mutex_
        ProvisionRecord Record;  // written by the job before Finished is set
    };

    void Scan();
    // Whether the interface is an adapter; asks it only once while it stays present.
    bool IsAdapterInterface(const THidPnPInfo& info);
    void StartWaiting(const StationEvents& events);
    void CollectFinished(const StationEvents& events);
    bool PathBusy(const std::string& path) const;

    IHidPlatform& platform_;
    const ProvisionPlan& plan_;
    const Options options_;
    PlainEventLoop loop_;
    std::unique_ptr<IHidPlatform::Watch> watch_;

    // The identity of each present interface, once it could be read.
    std::map<Key, HidIdentity> identities_;
    std::set<Key> present_;  // adapters at the last scan
    bool scanned_ = false;
    std::vector<THidPnPInfo> waiting_;  // new adapters not started yet
    std::list<Job> jobs_;
    long started_ = 0;
    long finished_ = 0;
    bool stopping_ = false;

    std::mutex mutex_;  // the jobs' Finished flags
};

}  // namespace quillon
