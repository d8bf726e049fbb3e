#pragma once

#include <QObject>
#include <atomic>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "device/ProvisionJob.h"
#include "device/ProvisionPlan.h"
#include "device/ProvisionStation.h"
#include "hid/HidPlatform.h"

namespace quillon::station {

// The provisioning station on a thread of its own, its events handed to the window's thread.
//
// The station's loop blocks the thread that runs it and its jobs block theirs on the adapters,
// so none of it runs on the window's thread: every event is posted to this object and emitted
// there, in the order the station raised them, and the window never waits on an adapter.
class TStationRunner : public QObject {
    Q_OBJECT

  public:
    // Keeps a finished adapter's record (on disk, which may take a while) on the station's
    // thread; returns what went wrong, empty when nothing did.
    using KeepFunction = std::function<std::string(const ProvisionRecord&)>;

    explicit TStationRunner(IHidPlatform& platform, QObject* parent = nullptr);
    // Stops at once and waits for the station's thread, which ends within one transfer.
    ~TStationRunner() override;

    // Begins a run with this plan; nothing happens while one is running.
    void Start(ProvisionPlan plan, bool allPresent, KeepFunction keep);
    // No new adapter is started; the run ends when the jobs in progress are done.
    void Stop();
    // The jobs in progress end at their next transfer and fail; then the run ends.
    void StopNow();

    bool Running() const { return running_; }
    bool Stopping() const { return interrupted_; }

  signals:
    void JobStarted(const quillon::THidPnPInfo& info, const quillon::HidIdentity& identity);
    void JobsProgressed(const std::vector<quillon::LiveJob>& jobs);
    // notKept: why the record could not be kept; empty when it was.
    void JobFinished(const quillon::ProvisionRecord& record, const QString& notKept);
    // The run is over: every job has finished and been reported.
    void Ended();

  private:
    // Runs task on this object's thread, after whatever was posted before it.
    template <typename Task>
    void Post(Task task) {
        QMetaObject::invokeMethod(this, std::move(task), Qt::QueuedConnection);
    }
    void Join();

    IHidPlatform& platform_;
    ProvisionPlan plan_;  // read by the station's thread while it runs
    std::atomic<bool> interrupted_{false};
    std::atomic<bool> abandon_{false};
    std::thread thread_;
    bool running_ = false;
};

}  // namespace quillon::station
