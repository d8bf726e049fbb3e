#include "config/ConfigFile.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <filesystem>

#include "config/FileAccess.h"
#include "config/RecordValues.h"
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
    std::array<uint8_t, kConfigFileSize> contents{};
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

Result<ConfigFileBytes, ConfigFileProblem> ReadCheckedConfigFile(const std::string& path) {
    using Refusal = Failure<ConfigFileProblem>;
    // One byte more than a file may hold tells a long file from a good one without reading it all.
    std::array<uint8_t, kConfigFileSize + 1> contents{};
    std::size_t length = 0;
    switch (file_access::ReadFileStart(path, contents, length)) {
        case file_access::ReadResult::Ok:
            break;
        case file_access::ReadResult::NotFound:
            return Refusal{ConfigFileProblem::NotFound, "file not found: " + path};
        case file_access::ReadResult::Unreadable:
            return Refusal{ConfigFileProblem::Unreadable, "unable to open file: " + path};
    }
    std::uintmax_t size = length;
    if (length > kConfigFileSize) {
        std::error_code error;
        const std::uintmax_t whole = std::filesystem::file_size(path, error);
        size = error ? length : whole;
    }
    return CheckConfigFileContents(std::span(contents).first(length), size, path);
}

Result<ConfigFileBytes, ConfigFileProblem> CheckConfigFileContents(std::span<const uint8_t> start,
                                                                   std::uintmax_t size,
                                                                   const std::string& path) {
    using Refusal = Failure<ConfigFileProblem>;
    if (size != kConfigFileSize || start.size() < kConfigFileSize) {
        return Refusal{ConfigFileProblem::WrongSize, "a configuration file is 64 bytes; " + path +
                                                         " has " + std::to_string(size)};
    }
    ConfigFileBytes bytes{};
    std::copy_n(start.begin(), kConfigFileSize, bytes.begin());
    if (bytes[DeviceSettings::ReportId] != SettingsReportId) {
        return Refusal{ConfigFileProblem::NotSettings, "not a settings file (its first byte is " +
                                                           std::to_string(bytes[0]) +
                                                           ", not 3): " + path};
    }
    ReportBuffer record{};
    std::copy(bytes.begin(), bytes.end(), record.begin());
    if (const auto unshowable = FirstUnshowableValue(record)) {
        return Refusal{ConfigFileProblem::Unshowable,
                       path + ": " + DescribeUnshowable(*unshowable)};
    }
    return bytes;
}

ConfigFileResult SaveConfigFile(const std::string& path, const ReportBuffer& buffer) {
    const std::span<const uint8_t> contents(buffer.data(), kConfigFileSize);
    return file_access::WriteWholeFile(path, contents) ? ConfigFileResult::Ok
                                                       : ConfigFileResult::UnableToCreate;
}

}  // namespace quillon
