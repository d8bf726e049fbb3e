#pragma once

#include <functional>
#include <memory>
#include <string>

#include "device/ProvisionJob.h"
#include "device/ProvisionPlan.h"
#include "device/records/StationRecord.h"
#include "device/records/StationRecords.h"

namespace quillon {

// A job's record as the record store keeps it, with the plan it carried out and who ran it.
records::StationRecord ToStationRecord(const ProvisionRecord& record, const ProvisionPlan& plan,
                                       const std::string& station,
                                       const std::string& programVersion);

// The records of a provisioning run: location names the station's file (empty: defaultFile, or
// the user's own when that is empty too) or a line's server, which the station's file then
// forwards to while onStatus (on the forwarder's thread) hears how that goes. Fails, before any
// adapter is touched, when the file cannot be used or the location cannot be understood.
records::RecordResult<std::unique_ptr<records::StationRecords>> OpenProvisionRecords(
    const std::string& location, const std::string& defaultFile,
    std::function<void(const records::ForwarderStatus&)> onStatus);

}  // namespace quillon
