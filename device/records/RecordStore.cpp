#include "device/records/RecordStore.h"

#include "device/records/SqliteRecordStore.h"
#ifdef QUILLON_RECORDS_SERVER
#include "device/records/PostgresRecordStore.h"
#endif

namespace quillon::records {

bool IsServerUrl(const std::string& location) {
    return location.starts_with("postgresql://") || location.starts_with("postgres://");
}

RecordResult<std::unique_ptr<IRecordStore>> OpenRecordStore(const std::string& location) {
    if (IsServerUrl(location)) {
#ifdef QUILLON_RECORDS_SERVER
        auto server = PostgresRecordStore::Open(location);
        if (!server) {
            return server.Error();
        }
        return std::unique_ptr<IRecordStore>(std::move(*server));
#else
        return RecordFailure(RecordError::BadUrl,
                             "this build keeps records on the station only; it cannot read "
                             "them from a record server");
#endif
    }
    auto file =
        SqliteRecordStore::Open(location.empty() ? SqliteRecordStore::DefaultPath() : location);
    if (!file) {
        return file.Error();
    }
    return std::unique_ptr<IRecordStore>(std::move(*file));
}

}  // namespace quillon::records
