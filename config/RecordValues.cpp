#include "config/RecordValues.h"

#include <string_view>

namespace quillon {
namespace {

namespace at = DeviceSettings;

bool IsBaudCode(uint8_t code) {
    for (const std::string_view item : kBaudRateItems) {
        if (EncodeBaudRate(item) == code) {
            return true;
        }
    }
    return false;
}

std::string BaudCodesAllowed() {
    std::string text;
    for (const std::string_view item : kBaudRateItems) {
        text += (text.empty() ? "" : ", ") + std::to_string(EncodeBaudRate(item)) + " (" +
                std::string(item) + ")";
    }
    return text;
}

}  // namespace

std::optional<UnshowableValue> FirstUnshowableValue(const ReportBuffer& record) {
    constexpr int kMaxDelayByte = kMaxDelayMs / kDelayUnitMs;
    const auto option = [](std::size_t byte, const char* name) {
        return UnshowableValue{byte, 0, name, "0 (off) or 1 (on)"};
    };
    for (std::size_t byte = at::UseAltKey; byte <= at::EnterCtrl; ++byte) {
        const uint8_t value = record[byte];
        std::optional<UnshowableValue> refused;
        switch (byte) {
            case at::UseAltKey:
                refused = value > 1 ? option(byte, "alt-key option") : refused;
                break;
            case at::BaudRate:
                if (!IsBaudCode(value)) {
                    refused = UnshowableValue{byte, 0, "baud rate code", BaudCodesAllowed()};
                }
                break;
            case at::CharDelay:
            case at::LineDelay:
                if (value > kMaxDelayByte) {
                    refused = UnshowableValue{
                        byte, 0, byte == at::CharDelay ? "character delay" : "line delay",
                        "0 to " + std::to_string(kMaxDelayByte) + " (0 to " +
                            std::to_string(kMaxDelayMs) + " ms in steps of 10)"};
                }
                break;
            case at::Pavex:
                refused = value > 1 ? option(byte, "Pavex option") : refused;
                break;
            case at::ClrStx:
                refused = value > 1 ? option(byte, "clear-STX option") : refused;
                break;
            case at::ClrEtx:
                refused = value > 1 ? option(byte, "clear-ETX option") : refused;
                break;
            case at::ClrMem:
                refused = value > 1 ? option(byte, "clear-data option") : refused;
                break;
            case at::FlowCtrl:
                if (value >= kFlowControlNames.size()) {
                    refused = UnshowableValue{byte, 0, "flow control code",
                                              "0 (RTS/CTS) or 1 (Xon/Xoff)"};
                }
                break;
            case at::EnterCtrl:
                // 255 is how a record without an enter choice is stored.
                if (value >= kEnterControlNames.size() && value != 0xFF) {
                    refused = UnshowableValue{byte, 0, "enter code",
                                              "0 (OFF), 1 (CR), 2 (LF) or 255 (none)"};
                }
                break;
            default:
                break;
        }
        if (refused) {
            refused->Value = value;
            return refused;
        }
    }
    return std::nullopt;
}

std::string DescribeUnshowable(const UnshowableValue& value) {
    return "byte " + std::to_string(value.Byte) + " (" + value.Setting + ") holds " +
           std::to_string(value.Value) + "; allowed: " + value.Allowed;
}

}  // namespace quillon
