#include "hid/linux/tests/TestHidModel.h"

#include <cerrno>
#include <cstring>

#include "hid/emulated/QuillonAdapter.h"

namespace quillon::test {

TestHidModel::TestHidModel(HidIdentity identity, std::u16string manufacturer,
                           std::u16string product, std::vector<uint8_t> descriptor)
    : identity_(identity),
      manufacturer_(std::move(manufacturer)),
      product_(std::move(product)),
      descriptor_(std::move(descriptor)) {}

bool TestHidModel::GetFeature(std::span<uint8_t> report, int& errorCode) {
    std::lock_guard lock(mutex_);
    const auto it = features_.find(report[0]);
    if (it == features_.end()) {
        errorCode = EPIPE;  // what a stalled control transfer gives
        return false;
    }
    std::fill(report.begin(), report.end(), uint8_t{0});
    std::copy_n(it->second.begin(), std::min(report.size(), it->second.size()), report.begin());
    return true;
}

bool TestHidModel::SetFeature(std::span<const uint8_t> report, int& errorCode) {
    std::lock_guard lock(mutex_);
    if (report.empty()) {
        errorCode = EINVAL;
        return false;
    }
    featuresSet_.emplace_back(report.begin(), report.end());
    return true;
}

void TestHidModel::Attach(emu::IDeviceModelHost* host) {
    std::lock_guard lock(mutex_);
    host_ = host;
}

void TestHidModel::StoreFeature(std::vector<uint8_t> report) {
    std::lock_guard lock(mutex_);
    const uint8_t id = report.at(0);
    features_[id] = std::move(report);
}

std::vector<std::vector<uint8_t>> TestHidModel::FeaturesSet() const {
    std::lock_guard lock(mutex_);
    return featuresSet_;
}

bool TestHidModel::SendInput(const std::vector<uint8_t>& report) {
    emu::IDeviceModelHost* host = nullptr;
    {
        std::lock_guard lock(mutex_);
        host = host_;
    }
    if (host == nullptr) {
        return false;
    }
    host->SendInputReport(report);
    return true;
}

std::vector<uint8_t> VendorDescriptorWithReportIds() {
    return emu::QuillonAdapterDescriptor();
}

std::vector<uint8_t> BootKeyboardDescriptor() {
    return {
        0x05, 0x01, 0x09, 0x06, 0xA1, 0x01, 0x05, 0x07, 0x19, 0xE0, 0x29, 0xE7, 0x15,
        0x00, 0x25, 0x01, 0x75, 0x01, 0x95, 0x08, 0x81, 0x02, 0x95, 0x01, 0x75, 0x08,
        0x81, 0x01, 0x95, 0x05, 0x75, 0x01, 0x05, 0x08, 0x19, 0x01, 0x29, 0x05, 0x91,
        0x02, 0x95, 0x01, 0x75, 0x03, 0x91, 0x01, 0x95, 0x06, 0x75, 0x08, 0x15, 0x00,
        0x25, 0x65, 0x05, 0x07, 0x19, 0x00, 0x29, 0x65, 0x81, 0x00, 0xC0,
    };
}

}  // namespace quillon::test
