#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "device/records/RecordSql.h"
#include "device/records/RecordStore.h"

struct sqlite3;

namespace quillon::records {

// The station's own records: one SQLite database file, written ahead (WAL) and synchronously,
// one transaction per record, so that a crash or a pulled plug leaves every record that was
// appended whole and none half-written. Several programs may use one file at once; each waits
// for the others' short transactions. One object may be used from several threads.
class SqliteRecordStore final : public IRecordStore {
  public:
    // Opens the file, creating it and its folder when missing, and lays out or updates its
    // tables. Refuses, naming the path and the reason, a file that is no database, one laid out
    // by a newer program (left untouched) and one that cannot be created or written.
    static RecordResult<std::unique_ptr<SqliteRecordStore>> Open(const std::string& path);
    ~SqliteRecordStore() override;
    SqliteRecordStore(const SqliteRecordStore&) = delete;
    SqliteRecordStore& operator=(const SqliteRecordStore&) = delete;

    // The file of the user's records: $XDG_DATA_HOME (else ~/.local/share) or %LOCALAPPDATA%,
    // then quillon-utility/records.db.
    static std::string DefaultPath();
    // The layout version this program writes; a file with a higher one is refused.
    static constexpr int kSchemaVersion = 1;

    std::string Location() const override { return path_; }
    // The identity this file gives its records (made once, when the file is created).
    const std::string& StationId() const { return stationId_; }

    // Gives the record this file's station identity and the next sequence number, and commits
    // it; returns the sequence number.
    RecordResult<int64_t> Append(const StationRecord& record) override;
    RecordResult<std::vector<StationRecord>> Query(const RecordFilter& filter) override;
    RecordResult<std::vector<SummaryRow>> Summary(const RecordFilter& filter,
                                                  SummaryBy by) override;

    // For the forwarder: the oldest records not yet on the server, in the order they were
    // appended; marking a run of them sent; how many are left.
    RecordResult<std::vector<StationRecord>> Unsent(int64_t limit);
    RecordResult<> MarkSent(int64_t firstSequence, int64_t lastSequence);
    RecordResult<int64_t> UnsentCount();

  private:
    SqliteRecordStore(sqlite3* db, std::string path);
    RecordResult<> Prepare(bool& busy);
    Failure<RecordError> Fail(const std::string& doing) const;
    // Every row of a query as convert makes it; a row it cannot make fails the whole read.
    template <class Row, class Convert>
    RecordResult<std::vector<Row>> SelectRows(const sql::Statement& statement,
                                              const std::vector<sql::ColumnType>& types,
                                              const std::string& doing, Convert convert);

    sqlite3* db_;
    const std::string path_;
    std::string stationId_;
    std::mutex mutex_;
};

}  // namespace quillon::records
