#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <string>

#include "config/DeviceSettings.h"
#include "device/Adapter.h"
#include "device/AdapterLock.h"
#include "device/LoggingFeatureDevice.h"
#include "firmware/FirmwareImage.h"
#include "firmware/UpdateRun.h"
#include "hid/FeatureReportDevice.h"
#include "hid/HidPlatform.h"

namespace quillon {

// Every operation a front end performs on one adapter, each with its failure in words: the
// window's pages, the command-line tool and the station's jobs all reach the adapter through
// here, so that they send the same reports in the same order and tell the same outcomes.
//
// Writes take the adapter's exclusive use for their own length, or for longer once Claim has
// taken it (a command, a station's job, the window's whole update). Another program holding it
// makes a write Busy before anything is sent; a platform that cannot tell lets the write go
// ahead unguarded. Reads never ask for it: a program may read an adapter another one writes.
//
// The device and the lock are borrowed and used on the calling thread only.
class AdapterService {
  public:
    // featureLength: the adapter's feature report length as far as a report buffer holds it.
    // lock may be null where the adapter cannot be locked.
    AdapterService(IFeatureReportDevice& device, std::string name, size_t featureLength,
                   IAdapterLock* lock);
    ~AdapterService();
    AdapterService(const AdapterService&) = delete;
    AdapterService& operator=(const AdapterService&) = delete;

    const std::string& Name() const { return name_; }
    // The system's own text for the last transfer that failed, without the operation's words:
    // what the raw-report page shows in its history.
    const std::string& LastSystemText() const { return lastSystemText_; }
    // The adapter being gone, not there or refusing access is told as such: a front end says
    // so rather than "a report failed".
    size_t FeatureLength() const { return featureLength_; }

    // Takes the adapter until Release or the service's end; Busy while another program has it.
    AdapterResult<> Claim();
    void Release();

    // The settings record, as long as the adapter's feature report; refused when the adapter
    // answers another report.
    AdapterResult<ReportBuffer> ReadSettings();
    // Sends the record as it stands, as long as the adapter's feature report.
    AdapterResult<> WriteSettings(const ReportBuffer& record);
    // Reads the record back and compares the settings bytes (0 to 12) with what was written.
    AdapterResult<> VerifySettings(const ReportBuffer& written);

    // Any feature report: report[0] holds its ID, the span's size is the length sent or asked.
    AdapterResult<> ReadReport(std::span<uint8_t> report);
    AdapterResult<> WriteReport(std::span<const uint8_t> report);
    // The reset report, 06 00 00 00.
    AdapterResult<> Reset();

    // A whole firmware update from the file, the adapter held throughout; beforeBlock(b) runs
    // before each block. Busy (nothing sent) when another program holds the adapter; otherwise
    // the update's outcome, which says itself whether it went well.
    AdapterResult<firmware::UpdateOutcome> Update(
        const std::string& fileName, firmware::FirmwareImage& image,
        const std::function<void(int block)>& beforeBlock = {});

  private:
    class Use;
    Failure<AdapterError> TransferFailure(const std::string& what, const HidFailure& failure);
    Failure<AdapterError> BusyFailure() const;

    LoggingFeatureDevice device_;
    std::string name_;
    size_t featureLength_;
    IAdapterLock* lock_;
    int held_ = 0;  // Claim and the writes in progress; the lock is given back at 0
    std::string lastSystemText_;
};

}  // namespace quillon
