#pragma once

#include <atomic>
#include <chrono>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "device/records/RecordStore.h"

struct pg_conn;

namespace quillon::records {

namespace sql {
struct Statement;
}

// The records of a whole line of stations on one PostgreSQL server. Every station writes into
// the same table; a record's identity (station identity and sequence number) is unique there,
// so a record sent again after a lost acknowledgement is stored once. Every statement waits on
// the connection with a deadline and an optional stop flag, so that a server gone silent never
// holds the caller for long. One object belongs to one thread at a time.
class PostgresRecordStore final : public IRecordStore {
  public:
    struct Options {
        // Set from another thread, it makes the connection attempt or statement in progress
        // give up within a tenth of a second.
        const std::atomic<bool>* Stop = nullptr;
        std::chrono::milliseconds ConnectTimeout{10000};
        std::chrono::milliseconds StatementTimeout{60000};
    };

    // Connects and lays out or updates the tables. Refuses a URL it cannot understand
    // (BadUrl), a server that cannot be reached or refuses the login (Unreachable), and tables
    // laid out by a newer program (NewerSchema; left untouched).
    static RecordResult<std::unique_ptr<PostgresRecordStore>> Open(const std::string& url,
                                                                   Options options);
    static RecordResult<std::unique_ptr<PostgresRecordStore>> Open(const std::string& url) {
        return Open(url, Options());
    }
    ~PostgresRecordStore() override;
    PostgresRecordStore(const PostgresRecordStore&) = delete;
    PostgresRecordStore& operator=(const PostgresRecordStore&) = delete;

    static constexpr int kSchemaVersion = 1;

    std::string Location() const override { return location_; }

    // Stores one record that has its identity (StationId and Sequence) and returns its
    // sequence number.
    RecordResult<int64_t> Append(const StationRecord& record) override;
    // Stores the records in one transaction; returns once the server has committed them.
    RecordResult<> AppendAll(std::span<const StationRecord> records);
    RecordResult<std::vector<StationRecord>> Query(const RecordFilter& filter) override;
    RecordResult<std::vector<SummaryRow>> Summary(const RecordFilter& filter,
                                                  SummaryBy by) override;

    // Whether the connection is gone; a store that is must be opened again.
    bool Broken() const;
    // The server process that serves this connection.
    int BackendPid() const;

  private:
    class Reply;
    PostgresRecordStore(pg_conn* connection, std::string location, Options options);
    RecordResult<> Prepare();
    // Runs one statement; with no parameters the text may hold several.
    RecordResult<std::unique_ptr<Reply>> Run(const sql::Statement& statement,
                                             const std::string& doing);

    pg_conn* connection_;
    const std::string location_;
    const Options options_;
};

// The URL as messages may show it: without a password.
std::string UrlForDisplay(const std::string& url);

}  // namespace quillon::records
