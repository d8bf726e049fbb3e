#pragma once

#include <functional>
#include <string>

#include "firmware/FirmwareImage.h"
#include "firmware/HexReader.h"
#include "firmware/UpdateProtocol.h"
#include "hid/FeatureReportDevice.h"

namespace quillon::firmware {

// One firmware update from a file, in the steps a caller drives: Begin, then RunBlock for
// blocks 0 to 19, then Finish after every run. The window lets its events run between
// blocks; the command-line tool reports progress there.
class TUpdateRun {
  public:
    // device may be null; the image is filled from the file and must outlive the run.
    TUpdateRun(IFeatureReportDevice* device, std::string fileName, FirmwareImage& image);

    // Reads the update file (refused before anything is sent when it is missing, unreadable
    // or not sound) and sends the start command.
    void Begin();
    // Writes and verifies one image block; does nothing once the run has failed.
    void RunBlock(int block);
    // Sends the finish command, whatever happened before. A run that had gone well fails when
    // the command cannot be sent.
    void Finish();

    UpdateResult Result() const { return result_; }
    bool Succeeded() const { return result_ == UpdateResult::Ready; }
    // The adapter's status byte of the last command, behind AdapterRefused.
    uint8_t Status() const { return protocol_.LastStatus(); }
    // The block being written when the run failed; -1 when none was.
    int FailedBlock() const { return failedBlock_; }
    // The window's text for the outcome: "ready", or what went wrong (the reader's message
    // for a refused file).
    std::string Message() const;

  private:
    std::string fileName_;
    FirmwareImage& image_;
    TUpdateProtocol protocol_;
    HexReadResult fileResult_;
    UpdateResult result_ = UpdateResult::Ready;
    int failedBlock_ = -1;
};

struct UpdateOutcome {
    UpdateResult Result = UpdateResult::Ready;
    uint8_t Status = 0;   // the adapter's status behind AdapterRefused
    int Block = -1;       // the block being written when it failed; -1: none
    std::string Message;  // the window's text
    std::string Words;    // the outcome in words for the tool and the station

    bool Succeeded() const { return Result == UpdateResult::Ready; }
    // The window's result code 0 to 6 (WindowResultCode).
    int WindowCode() const { return WindowResultCode(Result, Status); }
};

// Runs a whole update on the adapter a front end has chosen, however it reaches it.
using UpdateRunner = std::function<UpdateOutcome(const std::string& fileName, FirmwareImage& image,
                                                 const std::function<void(int block)>&)>;

// The update straight over a device's feature transfers (null: no device).
UpdateRunner DirectUpdateRunner(IFeatureReportDevice* device);

// A whole update, finish command included. After a good start, beforeBlock(b) runs before
// each block b, also after a failure, as progress runs to its end.
UpdateOutcome RunFirmwareUpdate(IFeatureReportDevice* device, const std::string& fileName,
                                FirmwareImage& image,
                                const std::function<void(int block)>& beforeBlock = {});

}  // namespace quillon::firmware
