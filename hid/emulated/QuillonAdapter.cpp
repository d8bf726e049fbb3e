#include "hid/emulated/QuillonAdapter.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace quillon::emu {
namespace {

constexpr uint8_t kCommandReport = 2;
constexpr uint8_t kSettingsReport = 3;
constexpr uint8_t kChecksumReport = 4;
constexpr uint8_t kStatusReport = 5;
constexpr uint8_t kResetReport = 6;

constexpr uint8_t kStart = 0x34;
constexpr uint8_t kEraseBlock = 0x01;
constexpr uint8_t kSelectBlock = 0x02;
constexpr uint8_t kReceiveBlock = 0x03;
constexpr uint8_t kChecksum = 0x04;
constexpr uint8_t kFinish = 0x06;

constexpr uint8_t kStatusOk = 1;
// The adapter refuses a command that it cannot carry out now (out of order, or a block it
// does not let an update write).
constexpr uint8_t kStatusRefused = 3;

constexpr int kDataReportsPerBlock = 9;
constexpr size_t kDataBytesPerReport = 63;

// The boot loader's block checksum, written from its own description rather than shared
// with the host's code, so that each checks the other.
uint16_t FirmwareChecksum(const uint8_t* data, size_t size) {
    uint16_t crc = 0;
    for (size_t i = 0; i < size; ++i) {
        crc = static_cast<uint16_t>(crc ^ (data[i] << 8));
        for (int bit = 0; bit < 8; ++bit) {
            crc = static_cast<uint16_t>(crc << 1);
            crc = static_cast<uint16_t>((crc & 0x8000) ? crc ^ 0x1021 : crc);
        }
    }
    return crc;
}

}  // namespace

const std::vector<uint8_t>& QuillonAdapterDescriptor() {
    static const std::vector<uint8_t> descriptor = {
        0x06, 0x00, 0xFF,  // Usage Page (vendor 0xFF00)
        0x09, 0x01,        // Usage (1)
        0xA1, 0x01,        // Collection (Application)
        0x15, 0x00,        //   Logical Minimum (0)
        0x26, 0xFF, 0x00,  //   Logical Maximum (255)
        0x75, 0x08,        //   Report Size (8)
        0x85, 0x01,        //   Report ID (1)
        0x95, 0x08,        //   Report Count (8)
        0x09, 0x02,        //   Usage (2)
        0x81, 0x02,        //   Input (Data, Variable, Absolute)
        0x85, 0x02,        //   Report ID (2): update command
        0x95, 0x03,        //   Report Count (3)
        0x09, 0x03,        //   Usage (3)
        0xB1, 0x02,        //   Feature (Data, Variable, Absolute)
        0x85, 0x03,        //   Report ID (3): settings record, or block data during an update
        0x95, 0x40,        //   Report Count (64)
        0x09, 0x04,        //   Usage (4)
        0xB1, 0x02,        //   Feature
        0x85, 0x04,        //   Report ID (4): block checksum
        0x95, 0x02,        //   Report Count (2)
        0x09, 0x05,        //   Usage (5)
        0xB1, 0x02,        //   Feature
        0x85, 0x05,        //   Report ID (5): status
        0x95, 0x01,        //   Report Count (1)
        0x09, 0x06,        //   Usage (6)
        0xB1, 0x02,        //   Feature
        0x85, 0x06,        //   Report ID (6): reset
        0x95, 0x03,        //   Report Count (3)
        0x09, 0x07,        //   Usage (7)
        0xB1, 0x02,        //   Feature
        0xC0,              // End Collection
    };
    return descriptor;
}

QuillonAdapter::QuillonAdapter() : flash_(kFlashSize, kOldFirmwareByte) {
    identity_ = {kVendorId, kProductId, kDefaultVersion};
    // Version 1, 19200 baud, no delays, RTS/CTS, CR at the line end, record marker set.
    settings_[0] = kSettingsReport;
    settings_[1] = 1;
    settings_[3] = 16;
    settings_[11] = 1;
    settings_[12] = 1;
    settings_[64] = 1;
}

QuillonAdapter::~QuillonAdapter() {
    StopInputReports();
}

HidIdentity QuillonAdapter::Identity() const {
    std::lock_guard lock(mutex_);
    return identity_;
}

std::u16string QuillonAdapter::Manufacturer() const {
    std::lock_guard lock(mutex_);
    return manufacturer_;
}

std::u16string QuillonAdapter::Product() const {
    std::lock_guard lock(mutex_);
    return product_;
}

std::vector<uint8_t> QuillonAdapter::ReportDescriptor() const {
    return QuillonAdapterDescriptor();
}

void QuillonAdapter::SetVersionNumber(uint16_t version) {
    std::lock_guard lock(mutex_);
    identity_.VersionNumber = version;
}

void QuillonAdapter::SetManufacturer(std::u16string text) {
    std::lock_guard lock(mutex_);
    manufacturer_ = std::move(text);
}

void QuillonAdapter::SetProduct(std::u16string text) {
    std::lock_guard lock(mutex_);
    product_ = std::move(text);
}

std::array<uint8_t, QuillonAdapter::kFeatureReportLength> QuillonAdapter::Settings() const {
    std::lock_guard lock(mutex_);
    return settings_;
}

void QuillonAdapter::SetSettings(const std::array<uint8_t, kFeatureReportLength>& record) {
    std::lock_guard lock(mutex_);
    settings_ = record;
}

int QuillonAdapter::ResetCount() const {
    std::lock_guard lock(mutex_);
    return resets_;
}

std::vector<uint8_t> QuillonAdapter::Flash() const {
    std::lock_guard lock(mutex_);
    return flash_;
}

bool QuillonAdapter::InUpdateMode() const {
    std::lock_guard lock(mutex_);
    return updating_;
}

std::vector<AdapterTransfer> QuillonAdapter::Log() const {
    std::lock_guard lock(mutex_);
    return log_;
}

size_t QuillonAdapter::TransferCount() const {
    std::lock_guard lock(mutex_);
    return log_.size();
}

void QuillonAdapter::ClearLog() {
    std::lock_guard lock(mutex_);
    log_.clear();
}

void QuillonAdapter::FailTransfer(size_t index) {
    std::lock_guard lock(mutex_);
    transferFaults_[index] = Outcome::Fail;
}

void QuillonAdapter::InterruptTransfer(size_t index) {
    std::lock_guard lock(mutex_);
    transferFaults_[index] = Outcome::Interrupt;
}

void QuillonAdapter::UnplugAtTransfer(size_t index) {
    std::lock_guard lock(mutex_);
    transferFaults_[index] = Outcome::Unplug;
}

void QuillonAdapter::AnswerStatus(uint8_t command, uint8_t status,
                                  std::optional<uint8_t> deviceBlock) {
    std::lock_guard lock(mutex_);
    statusFaults_[{command, deviceBlock ? int(*deviceBlock) : -1}] = status;
}

void QuillonAdapter::AnswerWrongChecksum(uint8_t deviceBlock) {
    std::lock_guard lock(mutex_);
    wrongChecksums_[deviceBlock] = true;
}

void QuillonAdapter::SetTransferDelay(std::chrono::microseconds delay) {
    std::lock_guard lock(mutex_);
    delay_ = delay;
}

void QuillonAdapter::ClearFaults() {
    std::lock_guard lock(mutex_);
    transferFaults_.clear();
    statusFaults_.clear();
    wrongChecksums_.clear();
    delay_ = std::chrono::microseconds(0);
}

QuillonAdapter::Outcome QuillonAdapter::BeginTransfer(std::chrono::microseconds& delay) {
    delay = delay_;
    const auto fault = transferFaults_.find(log_.size());
    return fault == transferFaults_.end() ? Outcome::Deliver : fault->second;
}

void QuillonAdapter::LogTransfer(AdapterTransfer::Direction dir, const uint8_t* bytes,
                                 size_t length, bool ok) {
    log_.push_back({dir, std::vector<uint8_t>(bytes, bytes + length), length, ok});
}

void QuillonAdapter::Unplug() {
    {
        std::lock_guard lock(mutex_);
        unplugged_ = true;
    }
    std::lock_guard hostLock(hostMutex_);
    if (host_ != nullptr) {
        host_->RequestUnplug();
    }
}

uint8_t QuillonAdapter::StatusFor(uint8_t command, uint8_t block, uint8_t status) const {
    if (auto it = statusFaults_.find({command, int(block)}); it != statusFaults_.end()) {
        return it->second;
    }
    if (auto it = statusFaults_.find({command, -1}); it != statusFaults_.end()) {
        return it->second;
    }
    return status;
}

bool QuillonAdapter::Transfer(AdapterTransfer::Direction dir, const uint8_t* buffer, size_t length,
                              int& errorCode, const std::function<bool(int&)>& deliver) {
    if (buffer == nullptr || length == 0) {
        errorCode = EINVAL;
        return false;
    }
    std::chrono::microseconds delay;
    Outcome outcome;
    bool ok = false;
    {
        std::lock_guard lock(mutex_);
        if (unplugged_) {
            errorCode = ENODEV;
            return false;
        }
        outcome = BeginTransfer(delay);
        if (outcome == Outcome::Deliver) {
            ok = deliver(errorCode);
        } else {
            errorCode = outcome == Outcome::Unplug      ? ENODEV
                        : outcome == Outcome::Interrupt ? EINTR
                                                        : EIO;
        }
        LogTransfer(dir, buffer, length, ok);
    }
    // The bus's time for the transfer passes outside the lock, so input reports go on meanwhile.
    if (delay.count() > 0) {
        std::this_thread::sleep_for(delay);
    }
    if (outcome == Outcome::Unplug) {
        Unplug();
    }
    return ok;
}

bool QuillonAdapter::GetFeature(std::span<uint8_t> report, int& errorCode) {
    uint8_t* const buffer = report.data();
    const size_t length = report.size();
    return Transfer(AdapterTransfer::Direction::Get, buffer, length, errorCode, [&](int& error) {
        std::vector<uint8_t> answer;
        switch (buffer[0]) {
            case kSettingsReport:
                answer.assign(settings_.begin(), settings_.end());
                break;
            case kChecksumReport: {
                const size_t size = std::min(received_.size(), kFlashBlockSize);
                std::vector<uint8_t> block(kFlashBlockSize, 0xFF);
                std::copy_n(received_.begin(), size, block.begin());
                uint16_t crc = FirmwareChecksum(block.data(), block.size());
                if (wrongChecksums_.count(receivedBlock_)) {
                    crc ^= 0x0101;
                }
                answer = {kChecksumReport, uint8_t(crc & 0xFF), uint8_t(crc >> 8)};
                break;
            }
            case kStatusReport:
                answer = {kStatusReport, status_};
                break;
            default:
                break;
        }
        if (answer.empty()) {
            error = EPIPE;  // the adapter stalls requests for reports it lacks
            return false;
        }
        answer.resize(std::max(answer.size(), length), 0);
        std::memcpy(buffer, answer.data(), length);
        return true;
    });
}

void QuillonAdapter::HandleCommand(const uint8_t* buffer, size_t length) {
    const uint8_t command = length > 1 ? buffer[1] : 0;
    const uint8_t block = length > 2 ? buffer[2] : 0;
    const bool blockWritable =
        block >= kFirstWritableBlock && (size_t(block) + 1) * kFlashBlockSize <= kFlashSize;
    uint8_t status = kStatusOk;
    switch (command) {
        case kStart:
            updating_ = true;
            dataReportsExpected_ = 0;
            break;
        case kEraseBlock:
            if (!updating_ || !blockWritable) {
                status = kStatusRefused;
                break;
            }
            std::fill_n(flash_.begin() + size_t(block) * kFlashBlockSize, kFlashBlockSize, 0xFF);
            selectedBlock_ = block;
            break;
        case kSelectBlock:
            if (!updating_ || block != selectedBlock_) {
                status = kStatusRefused;
            }
            break;
        case kReceiveBlock:
            if (!updating_ || block != selectedBlock_) {
                status = kStatusRefused;
                break;
            }
            dataReportsExpected_ = kDataReportsPerBlock;
            received_.clear();
            receivedBlock_ = block;
            break;
        case kChecksum:
            if (!updating_) {
                status = kStatusRefused;
            }
            break;
        case kFinish:
            updating_ = false;
            dataReportsExpected_ = 0;
            break;
        default:
            status = kStatusRefused;
            break;
    }
    status_ = StatusFor(command, command == kChecksum ? receivedBlock_ : block, status);
}

bool QuillonAdapter::SetFeature(std::span<const uint8_t> report, int& errorCode) {
    const uint8_t* const buffer = report.data();
    const size_t length = report.size();
    return Transfer(AdapterTransfer::Direction::Set, buffer, length, errorCode, [&](int& error) {
        switch (buffer[0]) {
            case kCommandReport:
                HandleCommand(buffer, length);
                return true;
            case kSettingsReport:
                if (dataReportsExpected_ > 0) {
                    const size_t count = std::min(length - 1, kDataBytesPerReport);
                    received_.insert(received_.end(), buffer + 1, buffer + 1 + count);
                    if (--dataReportsExpected_ == 0 && received_.size() >= kFlashBlockSize) {
                        std::copy_n(received_.begin(), kFlashBlockSize,
                                    flash_.begin() + size_t(receivedBlock_) * kFlashBlockSize);
                    }
                } else {
                    std::copy_n(buffer + 1, std::min(length, kFeatureReportLength) - 1,
                                settings_.begin() + 1);
                }
                return true;
            case kResetReport:
                ++resets_;
                updating_ = false;
                dataReportsExpected_ = 0;
                return true;
            default:
                error = EPIPE;
                return false;
        }
    });
}

void QuillonAdapter::Attach(IDeviceModelHost* host) {
    std::lock_guard hostLock(hostMutex_);
    host_ = host;
    if (host != nullptr) {
        std::lock_guard lock(mutex_);
        unplugged_ = false;
    }
}

bool QuillonAdapter::SendToHost(const uint8_t* report, size_t length) {
    std::lock_guard hostLock(hostMutex_);
    if (host_ == nullptr) {
        return false;
    }
    {
        std::lock_guard lock(mutex_);
        if (unplugged_) {
            return false;
        }
        ++inputCounter_;
    }
    host_->SendInputReport({report, length});
    return true;
}

bool QuillonAdapter::SendInputReport(const std::vector<uint8_t>& report) {
    return !report.empty() && SendToHost(report.data(), report.size());
}

uint64_t QuillonAdapter::InputReportsSent() const {
    std::lock_guard lock(mutex_);
    return inputCounter_;
}

void QuillonAdapter::StartInputReports(double perSecond) {
    StopInputReports();
    if (!(perSecond > 0)) {
        return;
    }
    const auto period = std::chrono::nanoseconds(int64_t(1e9 / perSecond));
    {
        std::lock_guard lock(generatorMutex_);
        generatorStop_ = false;
    }
    generator_ = std::thread([this, period] { GeneratorLoop(period); });
}

void QuillonAdapter::StopInputReports() {
    {
        std::lock_guard lock(generatorMutex_);
        generatorStop_ = true;
    }
    generatorWake_.notify_all();
    if (generator_.joinable()) {
        generator_.join();
    }
}

void QuillonAdapter::GeneratorLoop(std::chrono::nanoseconds period) {
    auto next = std::chrono::steady_clock::now();
    uint64_t sequence = 0;
    for (;;) {
        next += period;
        {
            std::unique_lock lock(generatorMutex_);
            if (generatorWake_.wait_until(lock, next, [this] { return generatorStop_; })) {
                return;
            }
        }
        uint8_t report[kInputReportLength] = {kInputReportId};
        ++sequence;
        for (size_t i = 1; i < kInputReportLength; ++i) {
            report[i] = uint8_t(sequence >> (8 * (i - 1)));
        }
        SendToHost(report, sizeof report);
    }
}

}  // namespace quillon::emu
