#include "device/ProvisionJob.h"

#include <algorithm>
#include <memory>

#include "config/SettingsAssignment.h"
#include "device/AdapterService.h"
#include "device/FirmwareUpdate.h"
#include "device/SettingsRecord.h"
#include "firmware/UpdateRun.h"
#include "hid/AccessAdvice.h"
#include "hid/ReportDescriptor.h"

namespace quillon {
namespace {

// The feature transfers of the job's own handle, passed through as the device object passes
// them (the length unchanged, byte 0 the report ID). Once the job is abandoned no transfer
// reaches the adapter any more, so the job ends within one transfer.
class HandleFeatureDevice final : public IFeatureReportDevice {
  public:
    static HidFailure Abandoned() { return {{HidErrorKind::Gone, 0}, "the job was abandoned"}; }
    HandleFeatureDevice(IHidHandle& handle, const std::atomic<bool>& abandon)
        : handle_(handle), abandon_(abandon) {}
    HidResult<> GetFeatureReport(std::span<uint8_t> report) override {
        if (abandon_) {
            return Abandoned();
        }
        return handle_.GetFeature(report);
    }
    HidResult<> SetFeatureReport(std::span<const uint8_t> report) override {
        if (abandon_) {
            return Abandoned();
        }
        return handle_.SetFeature(report);
    }

  private:
    IHidHandle& handle_;
    const std::atomic<bool>& abandon_;
};

class Job {
  public:
    Job(IHidPlatform& platform, const THidPnPInfo& info, const ProvisionPlan& plan,
        ProvisionProgress& progress)
        : platform_(platform), info_(info), plan_(plan), progress_(progress) {}

    ProvisionRecord Run(const HidIdentity& seen) {
        record_.Identity = seen;
        record_.Path = info_.InterfacePath;
        record_.UsbPath = info_.Location;
        record_.Started = std::chrono::system_clock::now();
        const auto start = std::chrono::steady_clock::now();
        if (Open() && Update() && WriteSettings()) {
            record_.Passed = true;
        }
        if (handle_ != nullptr) {
            if (const auto after = handle_->GetAttributes()) {
                record_.VersionAfter = after->VersionNumber;
            } else {
                // Its own handle no longer reaches it: the adapter has left the bus.
                record_.Pulled = !record_.Passed;
            }
        }
        if (!record_.Passed && progress_.Abandon) {
            record_.Reason = "stopped by the operator (" + record_.Reason + ")";
        }
        progress_.CurrentStep = ProvisionProgress::Done;
        record_.Took = std::chrono::duration_cast<std::chrono::milliseconds>(
            std::chrono::steady_clock::now() - start);
        return std::move(record_);
    }

  private:
    bool Fail(AdapterError kind, std::string reason) {
        record_.FailureKind = kind;
        record_.Reason = std::move(reason);
        return false;
    }
    bool FailStep(StepResult& step, AdapterError kind, std::string reason) {
        step.Outcome = StepResult::State::Failed;
        step.Detail = reason;
        return Fail(kind, std::move(reason));
    }
    bool Open() {
        auto opened = platform_.Open(info_.InterfacePath, HidAccess::ReadWrite);
        if (!opened) {
            return Fail(IsAccessRefusal(opened.Error()) ? AdapterError::NoPermission
                                                        : AdapterError::TransferFailed,
                        "cannot open: " + opened.Error().Message);
        }
        handle_ = std::move(*opened);
        const auto identity = handle_->GetAttributes();
        if (!identity) {
            return Fail(AdapterError::TransferFailed,
                        "cannot identify: " + identity.Error().Message);
        }
        record_.Identity = *identity;
        if (const auto manufacturer = handle_->GetManufacturerString()) {
            record_.Manufacturer = *manufacturer;
        }
        if (const auto product = handle_->GetProductString()) {
            record_.Product = *product;
        }
        // The system's own report lengths where it knows them (Windows hands out no report
        // descriptor), else parsed from the descriptor.
        if (const auto caps = handle_->GetCaps()) {
            // A longer report would not fit the buffer; it is cut, as everywhere else.
            featureLength_ = LimitFeatureLength(caps->FeatureReportByteLength);
        }
        transfers_ = std::make_unique<HandleFeatureDevice>(*handle_, progress_.Abandon);
        lock_ = std::make_unique<HandleAdapterLock>(*handle_);
        adapter_ = std::make_unique<AdapterService>(*transfers_, info_.InterfacePath,
                                                    featureLength_, lock_.get());
        // Held for the whole job, so that no other program (or window of this one) writes to
        // the adapter between the update and the read-back.
        if (auto claimed = adapter_->Claim(); !claimed) {
            return Fail(AdapterError::Busy, "in use by another program");
        }
        return true;
    }

    bool Update() {
        if (plan_.FirmwareFile.empty()) {
            return true;
        }
        progress_.CurrentStep = ProvisionProgress::Updating;
        auto image = std::make_unique<firmware::FirmwareImage>();
        const auto updated = adapter_->Update(plan_.FirmwareFile, *image,
                                              [this](int block) { progress_.Block = block; });
        if (!updated) {
            return FailStep(record_.Update, updated.Error().Error,
                            "update: " + updated.Error().Message);
        }
        const firmware::UpdateOutcome& outcome = *updated;
        if (const auto result = UpdateOutcomeResult(outcome); !result) {
            return FailStep(record_.Update, result.Error().Error,
                            "update: " + result.Error().Message);
        }
        record_.Update = {StepResult::State::Passed, outcome.Message};
        return true;
    }

    std::optional<ReportBuffer> ReadRecord(StepResult& step) {
        auto record = adapter_->ReadSettings();
        if (!record) {
            FailStep(step, AdapterError::TransferFailed, record.Error().Message);
            return std::nullopt;
        }
        return *record;
    }

    bool WriteSettings() {
        if (!plan_.WritesSettings()) {
            return true;
        }
        progress_.CurrentStep = ProvisionProgress::WritingSettings;
        StepResult& step = record_.Settings;
        // The adapter's record first: its version byte stays.
        auto buffer = ReadRecord(step);
        if (!buffer) {
            return false;
        }
        SettingsControlValues meant;
        if (plan_.ConfigBytes) {
            meant = LaySettingsFile(*plan_.ConfigBytes, *buffer);
        } else {
            const auto plan = PlanSettings(*ShownSettings(*buffer), *plan_.Assignments);
            if (!plan) {
                return FailStep(step, AdapterError::NotAllowed, plan.Error().Message);
            }
            meant = plan->Values;
        }
        PrepareSettingsWrite(meant, *buffer);
        record_.SettingsWritten = SettingsText(meant);
        record_.SettingsBytes.assign(buffer->begin(), buffer->begin() + ConfigFileSize);
        if (auto sent = adapter_->WriteSettings(*buffer); !sent) {
            return FailStep(step, AdapterError::TransferFailed, sent.Error().Message);
        }
        step = {StepResult::State::Passed, record_.SettingsWritten};

        progress_.CurrentStep = ProvisionProgress::Verifying;
        if (auto kept = adapter_->VerifySettings(*buffer); !kept) {
            return FailStep(record_.Verify, kept.Error().Error, kept.Error().Message);
        }
        record_.Verify = {StepResult::State::Passed, "read back equal"};
        return true;
    }

    IHidPlatform& platform_;
    const THidPnPInfo& info_;
    const ProvisionPlan& plan_;
    ProvisionProgress& progress_;
    ProvisionRecord record_;
    std::unique_ptr<IHidHandle> handle_;
    std::unique_ptr<HandleFeatureDevice> transfers_;
    std::unique_ptr<HandleAdapterLock> lock_;
    std::unique_ptr<AdapterService> adapter_;
    size_t featureLength_ = 0;
};

}  // namespace

const char* StepText(const StepResult& step) {
    switch (step.Outcome) {
        case StepResult::State::Passed:
            return "ok";
        case StepResult::State::Failed:
            return "failed";
        case StepResult::State::NotRun:
            break;
    }
    return "";
}

ProvisionRecord RunProvisionJob(IHidPlatform& platform, const THidPnPInfo& info,
                                const HidIdentity& seen, const ProvisionPlan& plan,
                                ProvisionProgress& progress) {
    try {
        return Job(platform, info, plan, progress).Run(seen);
    } catch (const std::exception& error) {
        ProvisionRecord record;
        record.Path = info.InterfacePath;
        record.Identity = seen;
        record.FailureKind = AdapterError::TransferFailed;
        record.Reason = std::string("internal error: ") + error.what();
        progress.CurrentStep = ProvisionProgress::Done;
        return record;
    }
}

std::string ProgressText(int step, int block) {
    switch (step) {
        case ProvisionProgress::Opening:
            return "opening";
        case ProvisionProgress::Updating:
            return "updating, block " + std::to_string(block + 1) + " of " +
                   std::to_string(firmware::kBlockCount);
        case ProvisionProgress::WritingSettings:
            return "writing the settings";
        case ProvisionProgress::Verifying:
            return "reading back";
        default:
            return "finishing";
    }
}

}  // namespace quillon
