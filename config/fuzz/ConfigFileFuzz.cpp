#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

#include "config/ConfigFile.h"
#include "config/RecordValues.h"
#include "config/SettingsRules.h"

// Any bytes as a configuration file: the check must hold its own promises. A file it takes
// holds only values the page can show, so showing it and writing what is shown keeps every
// value showable and shows the same again; bytes 13 to 63 and the report ID pass through.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace quillon;
    const std::span<const uint8_t> bytes(data, size);
    const auto checked = CheckConfigFileContents(bytes.first(size < 65 ? size : 65), size, "f");
    if (!checked) {
        if (checked.Error().Message.empty()) {
            std::abort();
        }
        return 0;
    }
    if (size != kConfigFileSize) {
        std::abort();
    }
    ReportBuffer record{};
    record[DeviceSettings::Version] = 7;
    OverlayConfigBytes(*checked, record);
    const auto shown = ShownSettings(record);
    if (!shown || FirstUnshowableValue(record)) {
        std::abort();
    }
    ReportBuffer written = record;
    PrepareSettingsWrite(*shown, written);
    if (FirstUnshowableValue(written) || ShownSettings(written) != shown ||
        written[DeviceSettings::Version] != 7 || written[0] != SettingsReportId) {
        std::abort();
    }
    for (size_t i = DeviceSettings::RecordMarker + 1; i < kConfigFileSize; ++i) {
        if (written[i] != data[i]) {
            std::abort();
        }
    }
    return 0;
}
