#include "device/ProvisionStation.h"

#include <algorithm>

#include "device/Adapter.h"

namespace quillon {
namespace {

// How often the loop looks at the interrupt flag and redraws the live display.
constexpr int kTickMs = 100;

}  // namespace

ProvisionStation::ProvisionStation(IHidPlatform& platform, const ProvisionPlan& plan,
                                   Options options)
    : platform_(platform), plan_(plan), options_(options) {}

ProvisionStation::~ProvisionStation() {
    for (Job& job : jobs_) {
        if (job.Thread.joinable()) {
            job.Thread.join();
        }
    }
    watch_.reset();
}

void ProvisionStation::Run(const std::atomic<bool>* interrupted, const StationEvents& events) {
    watch_ = platform_.WatchDeviceChanges(loop_, [this] { Scan(); });
    loop_.Post([this] { Scan(); });
    for (;;) {
        loop_.RunOnce(kTickMs);
        CollectFinished(events);
        if (!stopping_ && interrupted != nullptr && interrupted->load()) {
            stopping_ = true;
            waiting_.clear();
        }
        if (options_.Abandon != nullptr && options_.Abandon->load()) {
            stopping_ = true;
            waiting_.clear();
            for (Job& job : jobs_) {
                job.Progress.Abandon = true;
            }
        }
        StartWaiting(events);
        if (options_.Count && finished_ >= *options_.Count) {
            break;
        }
        if (stopping_ && jobs_.empty()) {
            break;
        }
        if (events.Progress && !jobs_.empty()) {
            std::vector<LiveJob> live;
            const auto now = std::chrono::steady_clock::now();
            for (const Job& job : jobs_) {
                live.push_back(
                    {job.Info.InterfacePath, job.Progress.CurrentStep.load(),
                     job.Progress.Block.load(),
                     std::chrono::duration_cast<std::chrono::milliseconds>(now - job.Start)});
            }
            events.Progress(live);
        }
    }
    watch_.reset();
}

bool ProvisionStation::IsAdapterInterface(const THidPnPInfo& info) {
    const Key key{info.InterfacePath, info.InstanceHandle};
    if (const auto known = identities_.find(key); known != identities_.end()) {
        return IsAdapter(known->second);
    }
    const auto handle = platform_.Open(info.InterfacePath, HidAccess::QueryOnly);
    const HidResult<HidIdentity> identity =
        handle ? (*handle)->GetAttributes() : HidResult<HidIdentity>(handle.Error());
    if (!identity) {
        return false;  // not kept: the next scan asks again
    }
    identities_[key] = *identity;
    return IsAdapter(*identity);
}

void ProvisionStation::Scan() {
    std::set<Key> present;
    std::map<Key, HidIdentity> identities;
    for (const THidPnPInfo& info : platform_.PresentInterfaces()) {
        const Key key{info.InterfacePath, info.InstanceHandle};
        const bool adapter = IsAdapterInterface(info);
        if (const auto known = identities_.find(key); known != identities_.end()) {
            identities.insert(*known);
        }
        if (!adapter) {
            continue;
        }
        present.insert(key);
        const bool isNew = scanned_ ? present_.count(key) == 0 : options_.AllPresent;
        if (isNew && !stopping_) {
            waiting_.push_back(info);
        }
    }
    identities_ = std::move(identities);  // forgets the interfaces that are gone
    present_ = std::move(present);
    scanned_ = true;
}

bool ProvisionStation::PathBusy(const std::string& path) const {
    return std::any_of(jobs_.begin(), jobs_.end(),
                       [&](const Job& job) { return job.Info.InterfacePath == path; });
}

void ProvisionStation::StartWaiting(const StationEvents& events) {
    std::vector<THidPnPInfo> later;
    for (const THidPnPInfo& info : waiting_) {
        if (present_.count({info.InterfacePath, info.InstanceHandle}) == 0) {
            continue;  // gone again before its turn
        }
        if (options_.Count && started_ >= *options_.Count) {
            if (events.LeftAlone) {
                events.LeftAlone(info.InterfacePath);
            }
            continue;
        }
        // A node that came back while the job of its earlier appearance still winds down.
        if (PathBusy(info.InterfacePath)) {
            later.push_back(info);
            continue;
        }
        Job& job = jobs_.emplace_back();
        job.Info = info;
        job.Identity = identities_[{info.InterfacePath, info.InstanceHandle}];
        job.Start = std::chrono::steady_clock::now();
        ++started_;
        if (events.Started) {
            events.Started(job.Info, job.Identity);
        }
        job.Thread = std::thread([this, &job] {
            ProvisionRecord record =
                RunProvisionJob(platform_, job.Info, job.Identity, plan_, job.Progress);
            {
                std::lock_guard lock(mutex_);
                job.Record = std::move(record);
                job.Finished = true;
            }
            loop_.Post([] {});  // wakes the loop to report it
        });
    }
    waiting_ = std::move(later);
}

void ProvisionStation::CollectFinished(const StationEvents& events) {
    for (auto it = jobs_.begin(); it != jobs_.end();) {
        bool finished = false;
        {
            std::lock_guard lock(mutex_);
            finished = it->Finished;
        }
        if (!finished) {
            ++it;
            continue;
        }
        it->Thread.join();
        ++finished_;
        if (events.Finished) {
            events.Finished(it->Record);
        }
        it = jobs_.erase(it);
    }
}

}  // namespace quillon
