#include "config/ConfigFile.h"

#include <array>
#include <cstdint>

#include "config/FileAccess.h"
#include "config/SettingsRules.h"

namespace quillon {

std::string ConfigFileMessage(ConfigFileResult result, const std::string& path) {
    switch (result) {
        case ConfigFileResult::Ok:
            return {};
        case ConfigFileResult::FileNotFound:
            return "file not found: " + path;
        case ConfigFileResult::UnableToOpen:
            return "unable to open file: " + path;
        case ConfigFileResult::UnableToCreate:
            return "unable to create file: " + path;
    }
    return {};
}

ConfigFileResult LoadConfigFile(const std::string& path, ReportBuffer& buffer) {
    std::array<uint8_t, ConfigFileSize> contents{};
    std::size_t length = 0;
    switch (file_access::ReadFileStart(path, contents, length)) {
        case file_access::ReadResult::Ok:
            break;
        case file_access::ReadResult::NotFound:
            return ConfigFileResult::FileNotFound;
        case file_access::ReadResult::Unreadable:
            return ConfigFileResult::UnableToOpen;
    }
    OverlayConfigBytes(std::span(contents).first(length), buffer);
    return ConfigFileResult::Ok;
}

ConfigFileResult SaveConfigFile(const std::string& path, const ReportBuffer& buffer) {
    const std::span<const uint8_t> contents(buffer.data(), ConfigFileSize);
    return file_access::WriteWholeFile(path, contents) ? ConfigFileResult::Ok
                                                       : ConfigFileResult::UnableToCreate;
}

}  // namespace quillon
