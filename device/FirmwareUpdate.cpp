#include "device/FirmwareUpdate.h"

#include <filesystem>
#include <memory>

#include "firmware/HexReader.h"
#include "firmware/UpdateProtocol.h"

namespace quillon {

AdapterResult<> CheckUpdateFile(const std::string& path) {
    std::error_code error;
    if (!std::filesystem::exists(path, error)) {
        return AdapterFailure(
            AdapterError::FileRefused,
            firmware::UpdateMessage(firmware::UpdateResult::FileError) + " " + path);
    }
    auto image = std::make_unique<firmware::FirmwareImage>();
    const firmware::HexReadResult result = firmware::ReadUpdateFile(path, *image);
    if (result.Code != 0) {
        return AdapterFailure(AdapterError::FileRefused, result.Message() + " (" + path + ")");
    }
    return {};
}

AdapterResult<> UpdateOutcomeResult(const firmware::UpdateOutcome& outcome) {
    using firmware::UpdateResult;
    switch (outcome.Result) {
        case UpdateResult::Ready:
            return {};
        case UpdateResult::FileError:
            return AdapterFailure(AdapterError::FileRefused, outcome.Words);
        case UpdateResult::AccessError:
            return AdapterFailure(AdapterError::NoAdapter, outcome.Words);
        case UpdateResult::SetReportError:
        case UpdateResult::GetReportError:
        case UpdateResult::ChecksumError:
        case UpdateResult::AdapterRefused:
            break;
    }
    return AdapterFailure(AdapterError::TransferFailed, outcome.Words);
}

firmware::UpdateRunner UpdateRunnerFor(AdapterService& adapter) {
    return [&adapter](const std::string& fileName, firmware::FirmwareImage& image,
                      const std::function<void(int)>& beforeBlock) {
        const auto updated = adapter.Update(fileName, image, beforeBlock);
        if (updated) {
            return *updated;
        }
        firmware::UpdateOutcome refused;
        refused.Result = firmware::UpdateResult::AccessError;
        refused.Message = refused.Words = updated.Error().Message;
        return refused;
    };
}

}  // namespace quillon
