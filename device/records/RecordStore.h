#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/Result.h"
#include "device/records/StationRecord.h"

namespace quillon::records {

enum class RecordError {
    BadUrl,       // the server's URL cannot be understood
    CannotOpen,   // the database file cannot be opened or created, or is no record database
    NewerSchema,  // the database was laid out by a newer program; it was left as it is
    Unreachable,  // the server cannot be reached, or refused the login
    Failed,       // a statement failed: a full disk, a lock held too long, the server said no
};
template <class T = void>
using RecordResult = Result<T, RecordError>;

inline Failure<RecordError> RecordFailure(RecordError error, std::string message) {
    return {error, std::move(message)};
}

// Which records a query or summary takes; every condition given must hold.
struct RecordFilter {
    std::optional<Clock::time_point> Since;  // from this moment on
    std::optional<Clock::time_point> Until;  // before this moment
    std::optional<bool> Passed;
    std::string Port;         // the USB port or the node
    std::string FirmwareCrc;  // eight hexadecimal digits, either case
    std::string Station;      // the station's name
    // The newest records first, at most Limit of them (the window's list of the last ones);
    // otherwise every record matching, oldest first.
    std::optional<int64_t> Limit;
};

enum class SummaryBy { All, Day, Firmware, Station, Reason };

// One line of a summary: the records that share a day, a firmware file, a station or a reason.
struct SummaryRow {
    std::string Key;  // "2026-01-31", "scanner-2.4.hex 1a2b3c4d", a station, a reason; "" for All
    int64_t Count = 0;
    int64_t Passed = 0;
    double MeanSeconds = 0;

    int64_t Failed() const { return Count - Passed; }
    double Yield() const { return Count == 0 ? 0 : static_cast<double>(Passed) / Count; }
};

// Where provisioning records are kept: the station's own database file or a line's server.
class IRecordStore {
  public:
    virtual ~IRecordStore() = default;

    // The file's path or the server's URL (without its password), for messages.
    virtual std::string Location() const = 0;

    // Stores the record durably before returning. The local store gives the record its
    // identity and returns its sequence number; the server takes records that already have
    // one and stores each identity once, however often it is sent.
    virtual RecordResult<int64_t> Append(const StationRecord& record) = 0;

    virtual RecordResult<std::vector<StationRecord>> Query(const RecordFilter& filter) = 0;
    virtual RecordResult<std::vector<SummaryRow>> Summary(const RecordFilter& filter,
                                                          SummaryBy by) = 0;
};

// Whether the text names a server ("postgresql://..." or "postgres://...") rather than a file.
bool IsServerUrl(const std::string& location);

// Opens the store a location names: a server's URL, a database file's path, or with an empty
// location the station's own file in the user's data folder. A file is created if missing.
RecordResult<std::unique_ptr<IRecordStore>> OpenRecordStore(const std::string& location);

}  // namespace quillon::records
