#include "device/records/RecordForwarder.h"

#include <algorithm>

#include "device/records/SqliteRecordStore.h"
#ifdef QUILLON_RECORDS_SERVER
#include "device/records/PostgresRecordStore.h"
#endif

namespace quillon::records {

using State = ForwarderStatus::State;

std::optional<std::string> StatusNotice(const ForwarderStatus& before, const ForwarderStatus& now) {
    const bool wasAway = before.Now == State::Unreachable;
    if (now.Now == State::Unreachable && !wasAway) {
        return now.Reason + "; the records are kept on this station and sent when it is back";
    }
    if (wasAway && (now.Now == State::Sending || now.Now == State::CaughtUp)) {
        return now.Backlog > 0 ? "the record server is reachable again; sending the " +
                                     std::to_string(now.Backlog) + " records kept meanwhile"
                               : std::string("the record server is reachable again");
    }
    return std::nullopt;
}

RecordForwarder::RecordForwarder(Options options) : options_(std::move(options)) {
    thread_ = std::thread([this] { Run(); });
}

RecordForwarder::~RecordForwarder() {
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
    }
    changed_.notify_all();
    thread_.join();
}

void RecordForwarder::Wake() {
    {
        std::lock_guard lock(mutex_);
        woken_ = true;
    }
    changed_.notify_all();
}

ForwarderStatus RecordForwarder::Status() const {
    std::lock_guard lock(mutex_);
    return status_;
}

bool RecordForwarder::WaitCaughtUp(std::chrono::milliseconds limit) {
    std::unique_lock lock(mutex_);
    // Only a look at the store that begins after this call can tell that it is empty.
    const int64_t after = round_;
    woken_ = true;
    changed_.notify_all();
    return changed_.wait_for(
        lock, limit, [&] { return status_.Now == State::CaughtUp && caughtUpRound_ > after; });
}

bool RecordForwarder::Pause(std::chrono::milliseconds time, bool wakeable) {
    std::unique_lock lock(mutex_);
    changed_.wait_for(lock, time, [&] { return stop_.load() || (wakeable && woken_); });
    return !stop_;
}

void RecordForwarder::Publish(ForwarderStatus status, int64_t round) {
    {
        std::lock_guard lock(mutex_);
        if (status.Now == State::CaughtUp) {
            caughtUpRound_ = round;
        }
        if (status == status_) {
            changed_.notify_all();
            return;
        }
        status_ = status;
    }
    changed_.notify_all();
    if (options_.OnStatus) {
        options_.OnStatus(status);
    }
}

void RecordForwarder::Run() {
#ifndef QUILLON_RECORDS_SERVER
    // A build without the server's client library never starts one (StationRecords refuses).
    Publish({State::Unreachable, "this build cannot send records to a server", 0}, 0);
    while (Pause(std::chrono::hours(1), false)) {
    }
#else
    auto local = SqliteRecordStore::Open(options_.LocalPath);
    if (!local) {
        Publish({State::Unreachable, local.Error().Message, 0}, 0);
        while (Pause(std::chrono::hours(1), false)) {
        }
        return;
    }
    std::unique_ptr<PostgresRecordStore> server;
    std::chrono::milliseconds retry = options_.FirstRetry;
    int64_t backlog = 0;
    const auto countBacklog = [&] {
        if (auto count = (*local)->UnsentCount()) {
            backlog = *count;
        }
        return backlog;
    };
    // Waits before the next attempt, a little longer each time; new records do not hurry it.
    const auto unreachable = [&](const std::string& reason, int64_t round) {
        server.reset();
        Publish({State::Unreachable, reason, countBacklog()}, round);
        const bool going = Pause(retry, false);
        retry = std::min(retry * 2, options_.LongestRetry);
        return going;
    };

    PostgresRecordStore::Options serverOptions;
    serverOptions.Stop = &stop_;
    while (!stop_) {
        int64_t round;
        {
            std::lock_guard lock(mutex_);
            round = ++round_;
            woken_ = false;
        }
        if (server == nullptr || server->Broken()) {
            auto opened = PostgresRecordStore::Open(options_.ServerUrl, serverOptions);
            if (!opened) {
                if (stop_ || !unreachable(opened.Error().Message, round)) {
                    break;
                }
                continue;
            }
            server = std::move(*opened);
            retry = options_.FirstRetry;
        }
        auto batch = (*local)->Unsent(options_.Batch);
        if (!batch) {
            if (!unreachable(batch.Error().Message, round)) {
                break;
            }
            continue;
        }
        if (batch->empty()) {
            Publish({State::CaughtUp, "", 0}, round);
            if (!Pause(options_.Poll, true)) {
                break;
            }
            continue;
        }
        Publish({State::Sending, "", countBacklog()}, round);
        if (auto sent = server->AppendAll(*batch); !sent) {
            // The server may have committed the batch before the connection broke; it is sent
            // again on the next connection and the server keeps the copy it has.
            if (stop_ || !unreachable(sent.Error().Message, round)) {
                break;
            }
            continue;
        }
        if (options_.AfterServerCommit && !options_.AfterServerCommit()) {
            server.reset();
            continue;
        }
        if (auto marked = (*local)->MarkSent(batch->front().Sequence, batch->back().Sequence);
            !marked) {
            if (!unreachable(marked.Error().Message, round)) {
                break;
            }
        }
    }
#endif
}

}  // namespace quillon::records
