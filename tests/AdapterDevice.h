#pragma once

#include <atomic>
#include <cerrno>
#include <functional>
#include <mutex>
#include <vector>

#include "hid/ErrnoFailure.h"
#include "hid/FeatureReportDevice.h"
#include "hid/emulated/QuillonAdapter.h"

namespace quillon::testing {

// Connects the update code straight to the emulated adapter, standing in for the bus and the
// HID device object: transfers reach the model until it asks to be unplugged, and fail after.
class AdapterDevice : public IFeatureReportDevice, public emu::IDeviceModelHost {
  public:
    explicit AdapterDevice(emu::QuillonAdapter& adapter) : adapter_(adapter) {
        adapter_.Attach(this);
    }
    ~AdapterDevice() override { adapter_.Attach(nullptr); }

    HidResult<> GetFeatureReport(std::span<uint8_t> report) override {
        if (beforeTransfer) {
            beforeTransfer();
        }
        int error = 0;
        return Outcome(!unplugged_ && adapter_.GetFeature(report, error), error);
    }
    HidResult<> SetFeatureReport(std::span<const uint8_t> report) override {
        if (beforeTransfer) {
            beforeTransfer();
        }
        int error = 0;
        return Outcome(!unplugged_ && adapter_.SetFeature(report, error), error);
    }

    void SendInputReport(std::span<const uint8_t> report) override {
        std::lock_guard lock(mutex_);
        inputReports_.emplace_back(report.begin(), report.end());
    }
    void RequestUnplug() override {
        unplugged_ = true;
        adapter_.Attach(nullptr);
    }

    bool Unplugged() const { return unplugged_; }
    std::vector<std::vector<uint8_t>> InputReports() const {
        std::lock_guard lock(mutex_);
        return inputReports_;
    }

    // Runs before every transfer, on the caller's thread (the window's tests post events here).
    std::function<void()> beforeTransfer;

  private:
    static HidResult<> Outcome(bool ok, int error) {
        if (ok) {
            return {};
        }
        return ErrnoFailure(error != 0 ? error : ENODEV);
    }

    emu::QuillonAdapter& adapter_;
    std::atomic<bool> unplugged_{false};
    mutable std::mutex mutex_;
    std::vector<std::vector<uint8_t>> inputReports_;
};

}  // namespace quillon::testing
