#include "device/AdapterService.h"

#include "config/SettingsRules.h"
#include "device/ReportText.h"

namespace quillon {

// The adapter's exclusive use for one operation: nothing to take while it is held already.
class AdapterService::Use {
  public:
    explicit Use(AdapterService& service) : service_(service) {
        if (service.held_ > 0) {
            ++service.held_;
            counted_ = true;
            return;
        }
        const HidLockResult result =
            service.lock_ != nullptr ? service.lock_->Lock() : HidLockResult::Failed;
        busy_ = result == HidLockResult::Busy;
        if (result == HidLockResult::Held) {
            ++service.held_;
            counted_ = true;
        }
    }
    ~Use() {
        if (counted_ && --service_.held_ == 0) {
            service_.lock_->Unlock();
        }
    }
    Use(const Use&) = delete;
    Use& operator=(const Use&) = delete;

    bool Busy() const { return busy_; }
    // Keeps the adapter after this use ends (Claim).
    void Keep() {
        if (counted_) {
            ++service_.held_;
        }
    }

  private:
    AdapterService& service_;
    bool busy_ = false;
    bool counted_ = false;
};

AdapterService::AdapterService(IFeatureReportDevice& device, std::string name, size_t featureLength,
                               IAdapterLock* lock)
    : device_(device, name), name_(std::move(name)), featureLength_(featureLength), lock_(lock) {}

AdapterService::~AdapterService() {
    if (held_ > 0) {
        lock_->Unlock();
    }
}

Failure<AdapterError> AdapterService::TransferFailure(const std::string& what,
                                                      const HidFailure& failure) {
    lastSystemText_ = failure.Message;
    return AdapterFailure(AdapterError::TransferFailed, what + ": " + lastSystemText_);
}

Failure<AdapterError> AdapterService::BusyFailure() const {
    return AdapterFailure(AdapterError::Busy, std::string(kAdapterBusyText) + " (" + name_ + ")");
}

AdapterResult<> AdapterService::Claim() {
    Use use(*this);
    if (use.Busy()) {
        return BusyFailure();
    }
    use.Keep();
    return {};
}

void AdapterService::Release() {
    if (held_ > 0 && --held_ == 0) {
        lock_->Unlock();
    }
}

AdapterResult<ReportBuffer> AdapterService::ReadSettings() {
    if (featureLength_ == 0) {
        return AdapterFailure(AdapterError::TransferFailed,
                              name_ + " reports no feature report length");
    }
    ReportBuffer buffer{};
    buffer[0] = SettingsReportId;
    if (const auto got = device_.GetFeatureReport({buffer.data(), featureLength_}); !got) {
        return TransferFailure("unable to read the settings", got.Error());
    }
    if (buffer[0] != SettingsReportId) {
        return AdapterFailure(AdapterError::TransferFailed, "the adapter answered report " +
                                                                std::to_string(buffer[0]) +
                                                                " instead of its settings record");
    }
    return buffer;
}

AdapterResult<> AdapterService::WriteSettings(const ReportBuffer& record) {
    if (featureLength_ == 0) {
        return AdapterFailure(AdapterError::TransferFailed,
                              name_ + " reports no feature report length");
    }
    const Use use(*this);
    if (use.Busy()) {
        return BusyFailure();
    }
    if (const auto sent = device_.SetFeatureReport({record.data(), featureLength_}); !sent) {
        return TransferFailure("unable to write the settings", sent.Error());
    }
    return {};
}

AdapterResult<> AdapterService::VerifySettings(const ReportBuffer& written) {
    const auto readBack = ReadSettings();
    if (!readBack) {
        return readBack.Error();
    }
    if (const auto at = FirstRecordDifference(written, *readBack)) {
        return AdapterFailure(AdapterError::TransferFailed,
                              "the adapter did not keep the settings written to it: byte " +
                                  std::to_string(*at) + " was written " +
                                  std::to_string(written[*at]) + ", read back " +
                                  std::to_string((*readBack)[*at]));
    }
    return {};
}

AdapterResult<> AdapterService::ReadReport(std::span<uint8_t> report) {
    const uint8_t id = report[0];
    if (const auto got = device_.GetFeatureReport(report); !got) {
        return TransferFailure("unable to read report " + FormatHexByte(id), got.Error());
    }
    return {};
}

AdapterResult<> AdapterService::WriteReport(std::span<const uint8_t> report) {
    const Use use(*this);
    if (use.Busy()) {
        return BusyFailure();
    }
    if (const auto sent = device_.SetFeatureReport(report); !sent) {
        return TransferFailure("unable to write report " + FormatHexByte(report[0]), sent.Error());
    }
    return {};
}

AdapterResult<> AdapterService::Reset() {
    const Use use(*this);
    if (use.Busy()) {
        return BusyFailure();
    }
    if (const auto sent = device_.SetFeatureReport(ResetReport); !sent) {
        return TransferFailure("unable to send the reset report", sent.Error());
    }
    return {};
}

AdapterResult<firmware::UpdateOutcome> AdapterService::Update(
    const std::string& fileName, firmware::FirmwareImage& image,
    const std::function<void(int block)>& beforeBlock) {
    // Held for the whole update: another program writing in the middle would leave the adapter
    // half written.
    const Use use(*this);
    if (use.Busy()) {
        return BusyFailure();
    }
    return firmware::RunFirmwareUpdate(&device_, fileName, image, beforeBlock);
}

}  // namespace quillon
