#include "cli/ProvisionJob.h"

#include <algorithm>
#include <memory>

#include "cli/ExitCodes.h"
#include "device/LoggingFeatureDevice.h"
#include "device/SettingsRecord.h"
#include "firmware/UpdateRun.h"
#include "hid/AccessAdvice.h"
#include "hid/ReportDescriptor.h"

namespace quillon::cli {
namespace {

// The feature transfers of the job's own handle, passed through as the device object passes
// them (the length unchanged, byte 0 the report ID).
class HandleFeatureDevice final : public IFeatureReportDevice {
  public:
    explicit HandleFeatureDevice(IHidHandle& handle) : handle_(handle) {}
    HidResult<> GetFeatureReport(std::span<uint8_t> report) override {
        return handle_.GetFeature(report);
    }
    HidResult<> SetFeatureReport(std::span<const uint8_t> report) override {
        return handle_.SetFeature(report);
    }

  private:
    IHidHandle& handle_;
};

const char* OnOff(bool on) {
    return on ? "on" : "off";
}

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
            }
        }
        progress_.CurrentStep = ProvisionProgress::Done;
        record_.Took = std::chrono::duration_cast<std::chrono::milliseconds>(
            std::chrono::steady_clock::now() - start);
        return std::move(record_);
    }

  private:
    bool Fail(int exitCode, std::string reason) {
        record_.ExitCode = exitCode;
        record_.Reason = std::move(reason);
        return false;
    }
    bool FailStep(StepResult& step, int exitCode, std::string reason) {
        step.Outcome = StepResult::State::Failed;
        step.Detail = reason;
        return Fail(exitCode, std::move(reason));
    }
    bool Open() {
        auto opened = platform_.Open(info_.InterfacePath, HidAccess::ReadWrite);
        if (!opened) {
            return Fail(IsAccessRefusal(opened.Error()) ? kExitNoPermission : kExitTransferFailed,
                        "cannot open: " + opened.Error().Message);
        }
        handle_ = std::move(*opened);
        // Held until the handle closes at the end of the job, so that no other program (or
        // window of this one) writes to the adapter between the update and the read-back.
        if (const auto locked = handle_->TryLockExclusive(); !locked) {
            if (locked.Error().Error.Kind == HidErrorKind::Busy) {
                return Fail(kExitAdapterBusy, "in use by another program");
            }
            return Fail(kExitTransferFailed, "cannot take the adapter: " + locked.Error().Message);
        }
        const auto identity = handle_->GetAttributes();
        if (!identity) {
            return Fail(kExitTransferFailed, "cannot identify: " + identity.Error().Message);
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
        transfers_ = std::make_unique<HandleFeatureDevice>(*handle_);
        logged_ = std::make_unique<LoggingFeatureDevice>(*transfers_, info_.InterfacePath);
        return true;
    }

    bool Update() {
        if (plan_.FirmwareFile.empty()) {
            return true;
        }
        progress_.CurrentStep = ProvisionProgress::Updating;
        auto image = std::make_unique<firmware::FirmwareImage>();
        const firmware::UpdateOutcome outcome =
            firmware::RunFirmwareUpdate(logged_.get(), plan_.FirmwareFile, *image,
                                        [this](int block) { progress_.Block = block; });
        if (outcome.Code != firmware::UpdateReady) {
            // The file changed on disk after it was checked.
            const int exitCode =
                outcome.Code == firmware::UpdateFileError ? kExitFileRefused : kExitTransferFailed;
            return FailStep(record_.Update, exitCode, "update: " + outcome.Message);
        }
        record_.Update = {StepResult::State::Passed, outcome.Message};
        return true;
    }

    std::optional<ReportBuffer> ReadRecord(StepResult& step) {
        auto record = ReadSettingsRecord(*logged_, featureLength_);
        if (!record) {
            FailStep(step, kExitTransferFailed, record.Error().Message);
            return std::nullopt;
        }
        return *record;
    }

    bool WriteSettings() {
        if (!plan_.ConfigBytes && !plan_.Assignments) {
            return true;
        }
        progress_.CurrentStep = ProvisionProgress::WritingSettings;
        StepResult& step = record_.Settings;
        if (featureLength_ == 0) {
            return FailStep(step, kExitTransferFailed,
                            "the adapter reports no feature report length");
        }
        // The adapter's record first: its version byte stays, and a short configuration file
        // changes only the bytes it holds.
        auto buffer = ReadRecord(step);
        if (!buffer) {
            return false;
        }
        SettingsControlValues meant;
        if (plan_.ConfigBytes) {
            OverlayConfigBytes(*plan_.ConfigBytes, *buffer);
            meant = *ShownSettings(*buffer);  // the plan's file starts with the settings ID
        } else {
            const auto plan = PlanSettings(*ShownSettings(*buffer), *plan_.Assignments);
            if (!plan) {
                return FailStep(step, kExitUsage, plan.Error().Message);
            }
            meant = plan->Values;
        }
        PrepareSettingsWrite(meant, *buffer);
        record_.SettingsWritten = SettingsText(meant);
        if (auto sent = SendSettingsRecord(*logged_, featureLength_, *buffer); !sent) {
            return FailStep(step, kExitTransferFailed, sent.Error().Message);
        }
        step = {StepResult::State::Passed, record_.SettingsWritten};

        progress_.CurrentStep = ProvisionProgress::Verifying;
        const auto readBack = ReadRecord(record_.Verify);
        if (!readBack) {
            return false;
        }
        if (const auto at = FirstRecordDifference(*buffer, *readBack)) {
            return FailStep(record_.Verify, kExitTransferFailed,
                            "read back differs at byte " + std::to_string(*at) + ": wrote " +
                                std::to_string((*buffer)[*at]) + ", read " +
                                std::to_string((*readBack)[*at]));
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
    std::unique_ptr<LoggingFeatureDevice> logged_;
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
        record.ExitCode = kExitTransferFailed;
        record.Reason = std::string("internal error: ") + error.what();
        progress.CurrentStep = ProvisionProgress::Done;
        return record;
    }
}

std::string SettingsText(const SettingsControlValues& values) {
    std::string text = "baud=" + values.BaudText;
    text += " char-delay=" + std::to_string(values.CharDelayMs);
    text += " line-delay=" + std::to_string(values.LineDelayMs);
    text +=
        " flow=" +
        std::string(FlowControlNames[static_cast<size_t>(std::clamp(values.FlowCtrlIndex, 0, 1))]);
    text += " enter=" +
            (values.EnterCtrlIndex >= 0 && values.EnterCtrlIndex <= 2
                 ? std::string(EnterControlNames[static_cast<size_t>(values.EnterCtrlIndex)])
                 : std::string("none"));
    text += std::string(" alt-key=") + OnOff(values.UseAltKey);
    text += std::string(" pavex=") + OnOff(values.Pavex);
    text += std::string(" clear-data=") + OnOff(values.ClrMem);
    text += std::string(" clear-stx=") + OnOff(values.ClrStx);
    text += std::string(" clear-etx=") + OnOff(values.ClrEtx);
    return text;
}

}  // namespace quillon::cli
