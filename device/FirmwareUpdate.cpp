#include "device/FirmwareUpdate.h"

#include <filesystem>
#include <memory>

#include "firmware/HexReader.h"
#include "firmware/UpdateProtocol.h"

namespace quillon {

AdapterResult<> CheckUpdateFile(const std::string& path) {
    std::error_code error;
    if (!std::filesystem::exists(path, error)) {
        return AdapterFailure(AdapterError::FileRefused,
                              firmware::UpdateMessage(firmware::UpdateFileError) + " " + path);
    }
    auto image = std::make_unique<firmware::FirmwareImage>();
    const firmware::HexReadResult result = firmware::ReadUpdateFile(path, *image);
    if (result.Code != 0) {
        return AdapterFailure(AdapterError::FileRefused, result.Message() + " (" + path + ")");
    }
    return {};
}

}  // namespace quillon
