#include "firmware/UpdateProtocol.h"

#include <algorithm>
#include <cstring>

#include "firmware/BlockChecksum.h"

namespace quillon::firmware {

int WindowResultCode(UpdateResult result, uint8_t status) {
    if (result != UpdateResult::AdapterRefused) {
        return static_cast<int>(result);
    }
    return status >= 2 && status <= 6 ? status - 1 : static_cast<int>(UpdateResult::AdapterRefused);
}

std::string UpdateMessage(UpdateResult result, uint8_t status) {
    switch (WindowResultCode(result, status)) {
        case 0:
            return "ready";
        case 1:
            return "ERROR: File not found!";
        case 2:
            return "ACCESS ERROR";
        case 3:
            return "ERROR: set report";
        case 4:
            return "ERROR: get report";
        case 5:
            return "CRC Error during flash write";
        default:
            return "ERROR: the adapter answered with the unknown status " + std::to_string(status);
    }
}

std::string DescribeUpdateFailure(UpdateResult result, uint8_t status, int block) {
    const std::string where =
        block >= 0 ? " block " + std::to_string(block + 1) + " of " + std::to_string(kBlockCount)
                   : std::string();
    switch (result) {
        case UpdateResult::Ready:
            return "updated";
        case UpdateResult::FileError:
            return "the update file was refused";
        case UpdateResult::AccessError:
            return "no adapter";
        case UpdateResult::SetReportError:
            return "a report could not be sent to the adapter" +
                   (block >= 0 ? " at" + where : std::string());
        case UpdateResult::GetReportError:
            return "a report could not be read from the adapter" +
                   (block >= 0 ? " at" + where : std::string());
        case UpdateResult::ChecksumError:
            return "the adapter's checksum of" + where + " differs from the file's";
        case UpdateResult::AdapterRefused:
            return "the adapter refused" + (block >= 0 ? where : std::string(" the update")) +
                   " (status " + std::to_string(status) + ")";
    }
    return "the update failed";
}

TUpdateProtocol::TUpdateProtocol(IFeatureReportDevice* device, const FirmwareImage& image)
    : device_(device), image_(image) {}

UpdateResult TUpdateProtocol::SendReport(std::span<const uint8_t> report) {
    if (device_ == nullptr) {
        return UpdateResult::AccessError;
    }
    return device_->SetFeatureReport(report) ? UpdateResult::Ready : UpdateResult::SetReportError;
}

UpdateResult TUpdateProtocol::ReadReport(std::span<uint8_t> report) {
    if (device_ == nullptr) {
        return UpdateResult::AccessError;
    }
    return device_->GetFeatureReport(report) ? UpdateResult::Ready : UpdateResult::GetReportError;
}

UpdateResult TUpdateProtocol::SendStart() {
    const uint8_t command[kCommandReportLength] = {kCommandReportId, kCommandStart, 0, 0};
    return SendReport(command);
}

UpdateResult TUpdateProtocol::CommandStep(uint8_t code, uint8_t parameter) {
    const uint8_t command[kCommandReportLength] = {kCommandReportId, code, parameter, 0};
    // A command that did not reach the adapter must stop the run: the status read after it
    // would only repeat the previous command's status, and the block would be written
    // without having been prepared.
    if (const UpdateResult sent = SendReport(command); sent != UpdateResult::Ready) {
        return sent;
    }
    uint8_t status[kStatusReportLength] = {kStatusReportId, 0x02};
    if (const UpdateResult read = ReadReport(status); read != UpdateResult::Ready) {
        return read;
    }
    lastStatus_ = status[1];
    // Any status but success is a refusal: taking 0 for success would report a flash that was
    // never written as updated.
    return lastStatus_ == kStatusSuccess ? UpdateResult::Ready : UpdateResult::AdapterRefused;
}

UpdateResult TUpdateProtocol::SendBlockData(int block) {
    const uint8_t command[kCommandReportLength] = {kCommandReportId, kCommandBlockData,
                                                   uint8_t(block + kFirstDeviceBlock), 0};
    if (const UpdateResult sent = SendReport(command); sent != UpdateResult::Ready) {
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
        if (const UpdateResult sent = SendReport(report); sent != UpdateResult::Ready) {
            return sent;
        }
    }
    return UpdateResult::Ready;
}

UpdateResult TUpdateProtocol::VerifyBlock(uint16_t checksum) {
    const uint8_t command[kCommandReportLength] = {kCommandReportId, kCommandChecksum, 0, 0};
    if (const UpdateResult sent = SendReport(command); sent != UpdateResult::Ready) {
        return sent;
    }
    uint8_t answer[kChecksumReportLength] = {kChecksumReportId, 0, 0};
    if (const UpdateResult read = ReadReport(answer); read != UpdateResult::Ready) {
        return read;
    }
    const uint16_t adapters = static_cast<uint16_t>(answer[1] | answer[2] << 8);
    return adapters == checksum ? UpdateResult::Ready : UpdateResult::ChecksumError;
}

UpdateResult TUpdateProtocol::WriteBlock(int block) {
    const auto deviceBlock = static_cast<uint8_t>(block + kFirstDeviceBlock);
    UpdateResult code = CommandStep(kCommandFirstBlockStep, deviceBlock);
    if (code == UpdateResult::Ready) {
        code = CommandStep(kCommandSecondBlockStep, deviceBlock);
    }
    if (code == UpdateResult::Ready) {
        const uint16_t checksum = BlockChecksum(image_, block);
        code = SendBlockData(block);
        if (code == UpdateResult::Ready) {
            code = VerifyBlock(checksum);
        }
    }
    return code;
}

UpdateResult TUpdateProtocol::Finish() {
    const uint8_t command[kCommandReportLength] = {kCommandReportId, kCommandFinish, 0, 0};
    // An adapter that never got the finish command is still in its update mode, so the
    // update did not end well whatever came before.
    if (const UpdateResult sent = SendReport(command); sent != UpdateResult::Ready) {
        return sent;
    }
    uint8_t status[kStatusReportLength] = {kStatusReportId, 0x02};
    ReadReport(status);
    return UpdateResult::Ready;
}

}  // namespace quillon::firmware
