#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "firmware/FirmwareImage.h"
#include "hid/FeatureReportDevice.h"

namespace quillon::firmware {

// Result codes of the update steps; 0 is success, every other code ends the run.
enum UpdateCode : int {
    UpdateReady = 0,
    UpdateFileError = 1,        // update file missing, unreadable or refused
    UpdateAccessError = 2,      // no device
    UpdateSetReportError = 3,   // a report could not be sent
    UpdateGetReportError = 4,   // a report could not be read
    UpdateChecksumError = 5,    // the adapter's block checksum differs from ours
    UpdateUnexpectedStatus = 6  // the adapter answered a status byte of 0 or above 6
};

// Feature reports of the update. Lengths are fixed, whatever the device's feature report
// length, and count the report ID byte.
constexpr uint8_t kCommandReportId = 2;
constexpr size_t kCommandReportLength = 4;
constexpr uint8_t kBlockDataReportId = 3;
constexpr size_t kBlockDataReportLength = 64;
constexpr uint8_t kChecksumReportId = 4;
constexpr size_t kChecksumReportLength = 3;
constexpr uint8_t kStatusReportId = 5;
constexpr size_t kStatusReportLength = 2;

// Command codes (byte 1 of the command report).
constexpr uint8_t kCommandStart = 0x34;
constexpr uint8_t kCommandFirstBlockStep = 0x01;
constexpr uint8_t kCommandSecondBlockStep = 0x02;
constexpr uint8_t kCommandBlockData = 0x03;
constexpr uint8_t kCommandChecksum = 0x04;
constexpr uint8_t kCommandFinish = 0x06;

constexpr uint8_t kStatusSuccess = 1;
constexpr size_t kDataBytesPerReport = kBlockDataReportLength - 1;
constexpr int kDataReportsPerBlock =
    int((kBlockSize - 1) / kDataBytesPerReport + 1);  // 9: the last carries 8 bytes
// Start, 16 per block, finish command and its status read.
constexpr int kTransfersPerUpdate = 1 + 16 * kBlockCount + 2;

// The text shown for a result code; status is the adapter's status byte behind
// UpdateUnexpectedStatus.
std::string UpdateMessage(int code, uint8_t status = 0);

// The steps of the update protocol over one device. Each returns a result code.
class TUpdateProtocol {
  public:
    // device may be null (no adapter); the image must outlive the protocol.
    TUpdateProtocol(IFeatureReportDevice* device, const FirmwareImage& image);

    int SendReport(std::span<const uint8_t> report);
    int ReadReport(std::span<uint8_t> report);

    int SendStart();
    // Sends a command and reads the adapter's status for it.
    int CommandStep(uint8_t code, uint8_t parameter);
    // The block data command and the nine data reports of image block b.
    int SendBlockData(int block);
    // Asks the adapter for the checksum of what it received and compares it.
    int VerifyBlock(uint16_t checksum);
    // Everything one image block needs: both block commands, its data and its checksum.
    int WriteBlock(int block);
    // Ends the update mode of the adapter. The adapter's status for it is read but carries no
    // meaning; only a finish command that could not be sent is a failure.
    int Finish();

    // The status byte of the last status read.
    uint8_t LastStatus() const { return lastStatus_; }

  private:
    IFeatureReportDevice* device_;
    const FirmwareImage& image_;
    uint8_t lastStatus_ = 0;
};

}  // namespace quillon::firmware
