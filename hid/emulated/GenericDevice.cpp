#include "hid/emulated/GenericDevice.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace quillon::emu {
namespace {

void AppendMain(std::vector<uint8_t>& d, uint16_t bytes, uint8_t mainItem) {
    if (bytes == 0) {
        return;
    }
    d.insert(d.end(), {0x09, 0x01,                    // usage (vendor 1)
                       0x15, 0x00, 0x26, 0xFF, 0x00,  // logical 0 to 255
                       0x75, 0x08});                  // report size 8 bits
    if (bytes < 0x100) {
        d.insert(d.end(), {0x95, static_cast<uint8_t>(bytes)});
    } else {
        d.insert(d.end(),
                 {0x96, static_cast<uint8_t>(bytes & 0xFF), static_cast<uint8_t>(bytes >> 8)});
    }
    d.insert(d.end(), {mainItem, 0x02});  // data, variable, absolute
}

}  // namespace

std::vector<uint8_t> MakeVendorDescriptor(uint16_t inputBytes, uint16_t outputBytes,
                                          uint16_t featureBytes, uint8_t reportId) {
    std::vector<uint8_t> d = {0x06, 0x00, 0xFF,  // usage page (vendor defined)
                              0x09, 0x01,        // usage (vendor 1)
                              0xA1, 0x01};       // collection (application)
    if (reportId != 0) {
        d.insert(d.end(), {0x85, reportId});
    }
    AppendMain(d, inputBytes, 0x81);
    AppendMain(d, outputBytes, 0x91);
    AppendMain(d, featureBytes, 0xB1);
    d.push_back(0xC0);  // end collection
    return d;
}

GenericDevice::GenericDevice(GenericDeviceConfig config) : config_(std::move(config)) {}

bool GenericDevice::GetFeature(std::span<uint8_t> report, int& errorCode) {
    if (report.empty()) {
        errorCode = EINVAL;
        return false;
    }
    std::lock_guard lock(mutex_);
    const auto it = features_.find(report[0]);
    if (it == features_.end() && config_.StallUnknownFeatures) {
        errorCode = EPIPE;  // what a stalled control transfer gives
        return false;
    }
    std::fill(report.begin() + 1, report.end(), uint8_t{0});
    if (it != features_.end()) {
        const size_t count = std::min(report.size(), it->second.size());
        std::copy(it->second.begin() + 1, it->second.begin() + static_cast<long>(count),
                  report.begin() + 1);
    }
    return true;
}

bool GenericDevice::SetFeature(std::span<const uint8_t> report, int& errorCode) {
    if (report.empty()) {
        errorCode = EINVAL;
        return false;
    }
    std::lock_guard lock(mutex_);
    features_[report[0]].assign(report.begin(), report.end());
    setReports_.emplace_back(report.begin(), report.end());
    return true;
}

void GenericDevice::StoreFeature(std::vector<uint8_t> report) {
    std::lock_guard lock(mutex_);
    const uint8_t id = report.at(0);
    features_[id] = std::move(report);
}

void GenericDevice::Attach(IDeviceModelHost* host) {
    std::lock_guard lock(mutex_);
    host_ = host;
}

bool GenericDevice::SendInput(const std::vector<uint8_t>& report) {
    // The host queues under its own lock and never calls back into the model, so holding ours
    // keeps an unplug from detaching the host in the middle.
    std::lock_guard lock(mutex_);
    if (host_ == nullptr) {
        return false;
    }
    host_->SendInputReport(report);
    return true;
}

bool GenericDevice::Attached() const {
    std::lock_guard lock(mutex_);
    return host_ != nullptr;
}

std::vector<std::vector<uint8_t>> GenericDevice::SetReports() const {
    std::lock_guard lock(mutex_);
    return setReports_;
}

}  // namespace quillon::emu
