#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "firmware/FirmwareImage.h"
#include "hid/FeatureReportDevice.h"

namespace quillon::firmware {

// How an update step ended; Ready is success, everything else ends the run. The first six
// are the window's result codes 0 to 5, each with its text. The adapter refusing a command is
// kept apart from them: its status byte 2 to 6 names one of those texts, but it says what the
// adapter did, not that the file is wrong or a report failed.
enum class UpdateResult : int {
    Ready = 0,
    FileError = 1,       // update file missing, unreadable or refused
    AccessError = 2,     // no device
    SetReportError = 3,  // a report could not be sent
    GetReportError = 4,  // a report could not be read
    ChecksumError = 5,   // the adapter's block checksum differs from ours
    AdapterRefused = 6,  // the adapter answered a command with a status other than success
};

// The window's result code of an outcome: the result itself, or for a refusal the code that
// the adapter's status names (status 2 to 6 name codes 1 to 5); 6 for any other status.
int WindowResultCode(UpdateResult result, uint8_t status);

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

// The window's text for an outcome; status is the adapter's status byte behind AdapterRefused.
std::string UpdateMessage(UpdateResult result, uint8_t status = 0);

// The outcome in words for an operator or a script, naming the block where one was being
// written (-1: none): "the adapter refused block 15 (status 2)".
std::string DescribeUpdateFailure(UpdateResult result, uint8_t status, int block);

// The steps of the update protocol over one device. Each returns how it ended.
class TUpdateProtocol {
  public:
    // device may be null (no adapter); the image must outlive the protocol.
    TUpdateProtocol(IFeatureReportDevice* device, const FirmwareImage& image);

    UpdateResult SendReport(std::span<const uint8_t> report);
    UpdateResult ReadReport(std::span<uint8_t> report);

    UpdateResult SendStart();
    // Sends a command and reads the adapter's status for it.
    UpdateResult CommandStep(uint8_t code, uint8_t parameter);
    // The block data command and the nine data reports of image block b.
    UpdateResult SendBlockData(int block);
    // Asks the adapter for the checksum of what it received and compares it.
    UpdateResult VerifyBlock(uint16_t checksum);
    // Everything one image block needs: both block commands, its data and its checksum.
    UpdateResult WriteBlock(int block);
    // Ends the update mode of the adapter. The adapter's status for it is read but carries no
    // meaning; only a finish command that could not be sent is a failure.
    UpdateResult Finish();

    // The status byte of the last status read.
    uint8_t LastStatus() const { return lastStatus_; }

  private:
    IFeatureReportDevice* device_;
    const FirmwareImage& image_;
    uint8_t lastStatus_ = 0;
};

}  // namespace quillon::firmware
