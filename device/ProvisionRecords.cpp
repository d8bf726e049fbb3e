#include "device/ProvisionRecords.h"

#include "device/ReportText.h"

namespace quillon {
namespace {

records::StepRecord Step(const StepResult& step) {
    return {StepText(step), step.Detail};
}

}  // namespace

records::StationRecord ToStationRecord(const ProvisionRecord& record, const ProvisionPlan& plan,
                                       const std::string& station,
                                       const std::string& programVersion) {
    records::StationRecord kept;
    kept.Station = station;
    kept.Time = record.Started;
    kept.Node = record.Path;
    kept.UsbPort = record.UsbPath;
    kept.VendorId = record.Identity.VendorID;
    kept.ProductId = record.Identity.ProductID;
    kept.VersionBefore = record.Identity.VersionNumber;
    kept.VersionAfter = record.VersionAfter;
    kept.Manufacturer = Utf16ToUtf8(record.Manufacturer);
    kept.Product = Utf16ToUtf8(record.Product);
    kept.FirmwareFile = plan.FirmwareFile;
    if (!plan.FirmwareFile.empty()) {
        kept.FirmwareSize = plan.FirmwareSize;
        kept.FirmwareCrc = plan.FirmwareChecksum;
    }
    kept.Settings = record.SettingsWritten;
    kept.SettingsBytes = record.SettingsBytes;
    kept.Update = Step(record.Update);
    kept.SettingsWrite = Step(record.Settings);
    kept.Verify = Step(record.Verify);
    kept.Passed = record.Passed;
    kept.Reason = record.Reason;
    kept.Took = record.Took;
    kept.ProgramVersion = programVersion;
    return kept;
}

records::RecordResult<std::unique_ptr<records::StationRecords>> OpenProvisionRecords(
    const std::string& location, const std::string& defaultFile,
    std::function<void(const records::ForwarderStatus&)> onStatus) {
    if (!records::IsServerUrl(location)) {
        return records::StationRecords::Open(location.empty() ? defaultFile : location,
                                             std::nullopt);
    }
    records::RecordForwarder::Options forwarding;
    forwarding.ServerUrl = location;
    forwarding.OnStatus = std::move(onStatus);
    return records::StationRecords::Open(defaultFile, std::move(forwarding));
}

}  // namespace quillon
