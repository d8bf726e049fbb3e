#include "station/StationRunner.h"

namespace quillon::station {

TStationRunner::TStationRunner(IHidPlatform& platform, QObject* parent)
    : QObject(parent), platform_(platform) {}

TStationRunner::~TStationRunner() {
    interrupted_ = true;
    abandon_ = true;
    Join();
}

void TStationRunner::Join() {
    if (thread_.joinable()) {
        thread_.join();
    }
}

void TStationRunner::Start(ProvisionPlan plan, bool allPresent, KeepFunction keep) {
    if (running_) {
        return;
    }
    Join();  // the previous run's thread has posted its end and is leaving
    plan_ = std::move(plan);
    interrupted_ = false;
    abandon_ = false;
    running_ = true;
    thread_ = std::thread([this, allPresent, keep = std::move(keep)] {
        StationEvents events;
        events.Started = [this](const THidPnPInfo& info, const HidIdentity& identity) {
            Post([this, info, identity] { emit JobStarted(info, identity); });
        };
        events.Progress = [this](const std::vector<LiveJob>& jobs) {
            Post([this, jobs] { emit JobsProgressed(jobs); });
        };
        events.Finished = [this, &keep](const ProvisionRecord& record) {
            // Each record is on disk before it is shown, as the command-line tool has it.
            const QString notKept = QString::fromStdString(keep ? keep(record) : std::string());
            Post([this, record, notKept] { emit JobFinished(record, notKept); });
        };
        ProvisionStation::Options options;
        options.AllPresent = allPresent;
        options.Abandon = &abandon_;
        {
            ProvisionStation station(platform_, plan_, options);
            station.Run(&interrupted_, events);
        }
        Post([this] {
            Join();
            running_ = false;
            emit Ended();
        });
    });
}

void TStationRunner::Stop() {
    interrupted_ = true;
}

void TStationRunner::StopNow() {
    interrupted_ = true;
    abandon_ = true;
}

}  // namespace quillon::station
