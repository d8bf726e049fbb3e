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

    int Code() const { return code_; }
    bool Succeeded() const { return code_ == UpdateReady; }
    // The update file was missing, unreadable or refused. An adapter's status can also give
    // UpdateFileError ("File not found!"), so the code alone does not say this.
    bool FileFailed() const { return fileFailed_; }
    // The text for the outcome: "ready", or what went wrong.
    std::string Message() const;

  private:
    std::string fileName_;
    FirmwareImage& image_;
    TUpdateProtocol protocol_;
    HexReadResult fileResult_;
    bool fileFailed_ = false;
    int code_ = UpdateReady;
};

struct UpdateOutcome {
    int Code = UpdateReady;
    std::string Message;
    bool FileFailed = false;  // as TUpdateRun::FileFailed
};

// A whole update, finish command included. After a good start, beforeBlock(b) runs before
// each block b, also after a failure, as progress runs to its end.
UpdateOutcome RunFirmwareUpdate(IFeatureReportDevice* device, const std::string& fileName,
                                FirmwareImage& image,
                                const std::function<void(int block)>& beforeBlock = {});

}  // namespace quillon::firmware
