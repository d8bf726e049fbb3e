#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

namespace quillon::records {

// Where the forwarding stands, for the station to show.
struct ForwarderStatus {
    enum class State {
        Connecting,   // the first attempt has not ended yet
        Sending,      // connected, records waiting to be sent
        CaughtUp,     // connected, every record is on the server
        Unreachable,  // the server cannot be reached or refuses; records wait on the station
    };
    State Now = State::Connecting;
    std::string Reason;   // why it is unreachable
    int64_t Backlog = 0;  // records on the station not yet on the server

    bool operator==(const ForwarderStatus&) const = default;
};

// What the station tells its user when the forwarding changes in a way that matters: the server
// became unreachable (or was so from the start), or is back; once each time, not at every
// retry. Nothing for the other changes.
std::optional<std::string> StatusNotice(const ForwarderStatus& before, const ForwarderStatus& now);

// Sends the records of the station's own store to a line's server on a thread of its own, in
// the order they were appended. A batch of records is marked sent only after the server has
// committed it; one whose acknowledgement is lost is sent again and stored once, as the server
// refuses a second copy of a record's identity. While the server is away it tries again, a
// little less often each time, up to a limit.
class RecordForwarder {
  public:
    struct Options {
        std::string LocalPath;  // the station's store (opened again on this thread)
        std::string ServerUrl;
        // Called on the forwarder's thread whenever the status changes.
        std::function<void(const ForwarderStatus&)> OnStatus;
        std::chrono::milliseconds FirstRetry{500};
        std::chrono::milliseconds LongestRetry{10000};
        // How often it looks for records appended by other programs on the same file.
        std::chrono::milliseconds Poll{1000};
        int64_t Batch = 200;
        // Runs after the server committed a batch and before it is marked sent here; false
        // drops the acknowledgement as a broken connection would. For tests of that moment.
        std::function<bool()> AfterServerCommit;
    };

    explicit RecordForwarder(Options options);
    // Stops within a fraction of a second, also while it waits for the server.
    ~RecordForwarder();
    RecordForwarder(const RecordForwarder&) = delete;
    RecordForwarder& operator=(const RecordForwarder&) = delete;

    // A record was appended: send it soon.
    void Wake();
    ForwarderStatus Status() const;
    // Waits until every record of the store is on the server, at most `limit`; whether it is.
    bool WaitCaughtUp(std::chrono::milliseconds limit);

  private:
    void Run();
    // Waits until stopped, woken (when wakeable) or the time is up; false when stopped.
    bool Pause(std::chrono::milliseconds time, bool wakeable);
    // Sets the status (round: the look at the store it comes from) and tells OnStatus of a change.
    void Publish(ForwarderStatus status, int64_t round);

    const Options options_;
    std::atomic<bool> stop_{false};
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    bool woken_ = false;
    int64_t round_ = 0;          // looks at the store begun
    int64_t caughtUpRound_ = 0;  // the last look that found every record sent
    ForwarderStatus status_;
    std::thread thread_;
};

}  // namespace quillon::records
