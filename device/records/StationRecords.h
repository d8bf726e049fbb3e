#pragma once

#include <memory>
#include <optional>
#include <string>

#include "device/records/RecordForwarder.h"
#include "device/records/RecordStore.h"
#include "device/records/SqliteRecordStore.h"

namespace quillon::records {

// The records of a provisioning station: its own database file, where every record is
// committed first, and for a line of stations the forwarding of those records to the line's
// server. The station goes on while the server is away; the forwarder catches up later.
class StationRecords {
  public:
    // Opens the station's file (the user's own when localPath is empty) and, with forwarding
    // (whose LocalPath is filled in here), starts sending to the server. Fails only when the
    // file cannot be used, or when this build cannot reach a server at all; a server that
    // cannot be reached, refuses the login or has a URL it cannot understand is told through
    // the forwarder's status, and the station keeps its records meanwhile.
    static RecordResult<std::unique_ptr<StationRecords>> Open(
        const std::string& localPath, std::optional<RecordForwarder::Options> forwarding);

    // Commits the record to the station's file and hands it to the forwarder; returns its
    // sequence number.
    RecordResult<int64_t> Append(const StationRecord& record);

    SqliteRecordStore& Local() { return *local_; }
    // Null when the records stay on the station.
    RecordForwarder* Forwarder() { return forwarder_.get(); }

  private:
    StationRecords() = default;

    std::unique_ptr<SqliteRecordStore> local_;
    std::unique_ptr<RecordForwarder> forwarder_;
};

}  // namespace quillon::records
