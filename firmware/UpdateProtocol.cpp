#include "firmware/UpdateProtocol.h"

#include <algorithm>
#include <cstring>

#include "firmware/BlockChecksum.h"

namespace quillon::firmware {

std::string UpdateMessage(int code, uint8_t status) {
    switch (code) {
        case UpdateReady:
            return "ready";
        case UpdateFileError:
            return "ERROR: File not found!";
        case UpdateAccessError:
            return "ACCESS ERROR";
        case UpdateSetReportError:
            return "ERROR: set report";
        case UpdateGetReportError:
            return "ERROR: get report";
        case UpdateChecksumError:
            return "CRC Error during flash write";
        case UpdateUnexpectedStatus:
            return "ERROR: the adapter answered with the unknown status " + std::to_string(status);
        default:
            return "ERROR: update failed with code " + std::to_string(code);
    }
}

TUpdateProtocol::TUpdateProtocol(IFeatureReportDevice* device, const FirmwareImage& image)
    : device_(device), image_(image) {}

int TUpdateProtocol::SendReport(std::span<const uint8_t> report) {
    if (device_ == nullptr) {
        return UpdateAccessError;
    }
    return device_->SetFeatureReport(report) ? UpdateReady : UpdateSetReportError;
}

int TUpdateProtocol::ReadReport(std::span<uint8_t> report) {
    if (device_ == nullptr) {
        return UpdateAccessError;
    }
    return device_->GetFeatureReport(report) ? UpdateReady : UpdateGetReportError;
}

int TUpdateProtocol::SendStart() {
    const uint8_t command[kCommandReportLength] = {kCommandReportId, kCommandStart, 0, 0};
    return SendReport(command);
}

int TUpdateProtocol::CommandStep(uint8_t code, uint8_t parameter) {
    const uint8_t command[kCommandReportLength] = {kCommandReportId, code, parameter, 0};
    // A command that did not reach the adapter must stop the run: the status read after it
    // would only repeat the previous command's status, and the block would be written
    // without having been prepared.
    if (const int sent = SendReport(command); sent != UpdateReady) {
        return sent;
    }
    uint8_t status[kStatusReportLength] = {kStatusReportId, 0x02};
    if (const int read = ReadReport(status); read != UpdateReady) {
        return read;
    }
    lastStatus_ = status[1];
    if (lastStatus_ == kStatusSuccess) {
        return UpdateReady;
    }
    // Status 2 to 6 name the result codes 1 to 5. Any other status is not success either:
    // taking 0 for success would report a flash that was never written as updated.
    if (lastStatus_ >= 2 && lastStatus_ <= 6) {
        return lastStatus_ - 1;
    }
    return UpdateUnexpectedStatus;
}

int TUpdateProtocol::SendBlockData(int block) {
    const uint8_t command[kCommandReportLength] = {kCommandReportId, kCommandBlockData,
                                                   uint8_t(block + kFirstDeviceBlock), 0};
    if (const int sent = SendReport(command); sent != UpdateReady) {
        return sent;
    }
    const uint8_t* blockData = image_.data() + size_t(block) * kBlockSize;
    for (int j = 0; j < kDataReportsPerBlock; ++j) {
        uint8_t report[kBlockDataReportLength];
        report[0] = kBlockDataReportId;
        const size_t from = size_t(j) * kDataBytesPerReport;
        const size_t count = std::min(kDataBytesPerReport, kBlockSize - from);
        std::memcpy(report + 1, blockData + from, count);
        std::memset(report + 1 + count, kFillValue, kDataBytesPerReport - count);
        if (const int sent = SendReport(report); sent != UpdateReady) {
            return sent;
        }
    }
    return UpdateReady;
}

int TUpdateProtocol::VerifyBlock(uint16_t checksum) {
    const uint8_t command[kCommandReportLength] = {kCommandReportId, kCommandChecksum, 0, 0};
    if (const int sent = SendReport(command); sent != UpdateReady) {
        return sent;
    }
    uint8_t answer[kChecksumReportLength] = {kChecksumReportId, 0, 0};
    if (const int read = ReadReport(answer); read != UpdateReady) {
        return read;
    }
    const uint16_t adapters = static_cast<uint16_t>(answer[1] | answer[2] << 8);
    return adapters == checksum ? UpdateReady : UpdateChecksumError;
}

int TUpdateProtocol::WriteBlock(int block) {
    const auto deviceBlock = static_cast<uint8_t>(block + kFirstDeviceBlock);
    int code = CommandStep(kCommandFirstBlockStep, deviceBlock);
    if (code == UpdateReady) {
        code = CommandStep(kCommandSecondBlockStep, deviceBlock);
    }
    if (code == UpdateReady) {
        const uint16_t checksum = BlockChecksum(image_, block);
        code = SendBlockData(block);
        if (code == UpdateReady) {
            code = VerifyBlock(checksum);
        }
    }
    return code;
}

int TUpdateProtocol::Finish() {
    const uint8_t command[kCommandReportLength] = {kCommandReportId, kCommandFinish, 0, 0};
    // An adapter that never got the finish command is still in its update mode, so the
    // update did not end well whatever came before.
    if (const int sent = SendReport(command); sent != UpdateReady) {
        return sent;
    }
    uint8_t status[kStatusReportLength] = {kStatusReportId, 0x02};
    ReadReport(status);
    return UpdateReady;
}

}  // namespace quillon::firmware
