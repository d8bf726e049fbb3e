#include "firmware/UpdateRun.h"

#include <filesystem>

#include "hid/Log.h"

namespace quillon::firmware {

TUpdateRun::TUpdateRun(IFeatureReportDevice* device, std::string fileName, FirmwareImage& image)
    : fileName_(std::move(fileName)), image_(image), protocol_(device, image) {}

void TUpdateRun::Begin() {
    std::error_code error;
    if (!std::filesystem::exists(fileName_, error)) {
        fileResult_.Code = UpdateFileError;
        fileFailed_ = true;
        code_ = UpdateFileError;
        return;
    }
    fileResult_ = ReadUpdateFile(fileName_, image_);
    code_ = fileResult_.Code;
    fileFailed_ = code_ != UpdateReady;
    if (code_ == UpdateReady) {
        code_ = protocol_.SendStart();
    }
}

void TUpdateRun::RunBlock(int block) {
    if (code_ == UpdateReady) {
        code_ = protocol_.WriteBlock(block);
        if (code_ != UpdateReady) {
            Log(LogCategory::Firmware, [&] {
                return "block " + std::to_string(block) + " failed with code " +
                       std::to_string(code_);
            });
        }
    }
}

void TUpdateRun::Finish() {
    const int finished = protocol_.Finish();
    if (code_ == UpdateReady) {
        code_ = finished;
    }
}

std::string TUpdateRun::Message() const {
    if (fileFailed_) {
        return fileResult_.Message();
    }
    return UpdateMessage(code_, protocol_.LastStatus());
}

UpdateOutcome RunFirmwareUpdate(IFeatureReportDevice* device, const std::string& fileName,
                                FirmwareImage& image,
                                const std::function<void(int block)>& beforeBlock) {
    TUpdateRun run(device, fileName, image);
    run.Begin();
    // The blocks are gone through only after a good start; once one fails the rest are
    // still counted, so progress runs to its end.
    if (run.Succeeded()) {
        for (int block = 0; block < kBlockCount; ++block) {
            if (beforeBlock) {
                beforeBlock(block);
            }
            run.RunBlock(block);
        }
    }
    run.Finish();
    const UpdateOutcome outcome{run.Code(), run.Message(), run.FileFailed()};
    Log(LogCategory::Firmware, [&] { return "update from " + fileName + ": " + outcome.Message; });
    return outcome;
}

}  // namespace quillon::firmware
