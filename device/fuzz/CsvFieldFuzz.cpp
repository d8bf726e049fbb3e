#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "device/ProvisionLog.h"

namespace {

// Reads one CSV record as a spreadsheet does: fields split at commas outside quotes, "" inside
// quotes a quote, the record ending at CR LF outside quotes.
std::vector<std::string> ReadRecord(const std::string& line) {
    std::vector<std::string> fields(1);
    bool quoted = false;
    for (size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (quoted) {
            if (c == '"' && i + 1 < line.size() && line[i + 1] == '"') {
                fields.back() += '"';
                ++i;
            } else if (c == '"') {
                quoted = false;
            } else {
                fields.back() += c;
            }
        } else if (c == '"') {
            quoted = true;
        } else if (c == ',') {
            fields.emplace_back();
        } else if (c == '\r' && i + 2 == line.size() && line[i + 1] == '\n') {
            return fields;
        } else {
            fields.back() += c;
        }
    }
    std::abort();  // no record end outside quotes
}

// What a field reads back as: the text, marked as text where a spreadsheet would compute it.
std::string Expected(const std::string& text) {
    const bool formula =
        !text.empty() && std::string("=+-@\t\r").find(text.front()) != std::string::npos;
    return formula ? "'" + text : text;
}

}  // namespace

// The station's log line with texts taken from the input in the places an adapter, an operator
// or a file name fills: read back field by field, every text is what was written.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace quillon;
    std::vector<std::string> texts(5);
    size_t which = 0;
    for (size_t i = 0; i < size; ++i) {
        if (data[i] == 0 && which + 1 < texts.size()) {
            ++which;
        } else {
            texts[which] += static_cast<char>(data[i]);
        }
    }
    ProvisionRecord record;
    record.Path = texts[0];
    record.UsbPath = texts[1];
    record.Reason = texts[2];
    record.SettingsWritten = texts[3];
    const std::string firmwareFile = texts[4];
    const std::vector<std::string> fields =
        ReadRecord(ProvisionLog::RecordLine(record, firmwareFile, "0badf00d"));
    if (fields.size() != 18 || fields[1] != Expected(record.Path) ||
        fields[2] != Expected(record.UsbPath) || fields[16] != Expected(record.Reason) ||
        fields[11] != Expected(record.SettingsWritten) || fields[9] != Expected(firmwareFile)) {
        std::abort();
    }
    return 0;
}
