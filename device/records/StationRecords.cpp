#include "device/records/StationRecords.h"

namespace quillon::records {

RecordResult<std::unique_ptr<StationRecords>> StationRecords::Open(
    const std::string& localPath, std::optional<RecordForwarder::Options> forwarding) {
#ifndef QUILLON_RECORDS_SERVER
    if (forwarding) {
        return RecordFailure(RecordError::BadUrl,
                             "this build keeps records on the station only; it cannot send them "
                             "to the record server " +
                                 forwarding->ServerUrl);
    }
#endif
    auto local =
        SqliteRecordStore::Open(localPath.empty() ? SqliteRecordStore::DefaultPath() : localPath);
    if (!local) {
        return local.Error();
    }
    std::unique_ptr<StationRecords> records(new StationRecords());
    records->local_ = std::move(*local);
#ifdef QUILLON_RECORDS_SERVER
    if (forwarding) {
        forwarding->LocalPath = records->local_->Location();
        records->forwarder_ = std::make_unique<RecordForwarder>(std::move(*forwarding));
    }
#endif
    return records;
}

RecordResult<int64_t> StationRecords::Append(const StationRecord& record) {
    auto sequence = local_->Append(record);
    if (sequence && forwarder_ != nullptr) {
        forwarder_->Wake();
    }
    return sequence;
}

}  // namespace quillon::records
