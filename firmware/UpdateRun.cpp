#include "firmware/UpdateRun.h"

#include <filesystem>

#include "base/Log.h"

namespace quillon::firmware {

TUpdateRun::TUpdateRun(IFeatureReportDevice* device, std::string fileName, FirmwareImage& image)
    : fileName_(std::move(fileName)), image_(image), protocol_(device, image) {}

void TUpdateRun::Begin() {
    std::error_code error;
    if (!std::filesystem::exists(fileName_, error)) {
        fileResult_.Code = static_cast<int>(UpdateResult::FileError);
        result_ = UpdateResult::FileError;
        return;
    }
    fileResult_ = ReadUpdateFile(fileName_, image_);
    if (fileResult_.Code != 0) {
        result_ = UpdateResult::FileError;
        return;
    }
    result_ = protocol_.SendStart();
}

void TUpdateRun::RunBlock(int block) {
    if (result_ == UpdateResult::Ready) {
        result_ = protocol_.WriteBlock(block);
        if (result_ != UpdateResult::Ready) {
            failedBlock_ = block;
            Log(LogCategory::Firmware, [&] {
                return "block " + std::to_string(block) + ": " +
                       DescribeUpdateFailure(result_, protocol_.LastStatus(), block);
            });
        }
    }
}

void TUpdateRun::Finish() {
    const UpdateResult finished = protocol_.Finish();
    if (result_ == UpdateResult::Ready) {
        result_ = finished;
    }
}

std::string TUpdateRun::Message() const {
    if (result_ == UpdateResult::FileError) {
        return fileResult_.Message();
    }
    return UpdateMessage(result_, protocol_.LastStatus());
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
    UpdateOutcome outcome{run.Result(), run.Status(), run.FailedBlock(), run.Message(), {}};
    // A refused file is told by the reader, with its line; everything else in words that
    // do not borrow the window's texts.
    outcome.Words = outcome.Result == UpdateResult::FileError
                        ? outcome.Message + " (" + fileName + ")"
                        : DescribeUpdateFailure(outcome.Result, outcome.Status, outcome.Block);
    Log(LogCategory::Firmware, [&] { return "update from " + fileName + ": " + outcome.Message; });
    return outcome;
}

UpdateRunner DirectUpdateRunner(IFeatureReportDevice* device) {
    return [device](const std::string& fileName, FirmwareImage& image,
                    const std::function<void(int)>& beforeBlock) {
        return RunFirmwareUpdate(device, fileName, image, beforeBlock);
    };
}

}  // namespace quillon::firmware
