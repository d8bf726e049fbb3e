#include "config/DeviceSettings.h"

#include <algorithm>
#include <charconv>
#include <cstdio>

namespace quillon {

namespace {

uint8_t LowByte(int64_t value) {
    return static_cast<uint8_t>(static_cast<uint64_t>(value) & 0xFF);
}

uint8_t Flag(bool on) {
    return on ? 1 : 0;
}

std::string_view TrimBlanks(std::string_view text) {
    const auto first = text.find_first_not_of(' ');
    if (first == std::string_view::npos) {
        return {};
    }
    const auto last = text.find_last_not_of(' ');
    return text.substr(first, last - first + 1);
}

// Nearest integer to value / divisor for a positive divisor, halves to the even neighbour.
int64_t DivideRoundHalfEven(int64_t value, int64_t divisor) {
    const bool negative = value < 0;
    const int64_t magnitude = negative ? -value : value;
    int64_t quotient = magnitude / divisor;
    const int64_t twiceRemainder = 2 * (magnitude % divisor);
    if (twiceRemainder > divisor || (twiceRemainder == divisor && quotient % 2 != 0)) {
        ++quotient;
    }
    return negative ? -quotient : quotient;
}

}  // namespace

int ParseIntegerText(std::string_view text, int fallback) {
    text = TrimBlanks(text);
    if (!text.empty() && text.front() == '+') {
        text.remove_prefix(1);
        if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
            return fallback;
        }
    }
    int value = 0;
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value);
    if (text.empty() || error != std::errc() || stop != end) {
        return fallback;
    }
    return value;
}

uint8_t EncodeDelay(int milliseconds) {
    return LowByte(DivideRoundHalfEven(milliseconds, kDelayUnitMs));
}

uint8_t EncodeBaudRate(std::string_view baudText) {
    return LowByte(ParseIntegerText(baudText, kDefaultBaudRate) / kBaudRateUnit);
}

std::string FormatVersion(uint8_t version) {
    char text[8];
    std::snprintf(text, sizeof text, "%.3u", static_cast<unsigned>(version));
    return text;
}

void EncodeSettings(const SettingsControlValues& values, ReportBuffer& buffer) {
    namespace at = DeviceSettings;
    buffer[at::Version] = LowByte(ParseIntegerText(values.VersionText, 0));
    buffer[at::UseAltKey] = Flag(values.UseAltKey);
    buffer[at::BaudRate] = EncodeBaudRate(values.BaudText);
    buffer[at::CharDelay] = EncodeDelay(values.CharDelayMs);
    buffer[at::LineDelay] = EncodeDelay(values.LineDelayMs);
    buffer[at::Pavex] = Flag(values.Pavex);
    buffer[at::ClrStx] = Flag(values.ClrStx);
    buffer[at::ClrEtx] = Flag(values.ClrEtx);
    buffer[at::ClrMem] = Flag(values.ClrMem);
    buffer[at::FlowCtrl] = LowByte(values.FlowCtrlIndex);
    buffer[at::EnterCtrl] = values.EnterCtrlIndex < 0 ? 0xFF : LowByte(values.EnterCtrlIndex);
    buffer[at::RecordMarker] = 1;
}

std::optional<SettingsControlValues> DecodeSettings(const ReportBuffer& buffer) {
    namespace at = DeviceSettings;
    if (buffer[at::ReportId] != SettingsReportId) {
        return std::nullopt;
    }
    const auto delayMs = [&](std::size_t index) {
        return std::min(buffer[index] * kDelayUnitMs, kMaxDelayMs);
    };
    const int lastFlow = static_cast<int>(kFlowControlNames.size()) - 1;
    const int enter = buffer[at::EnterCtrl];

    SettingsControlValues values;
    values.VersionText = FormatVersion(buffer[at::Version]);
    values.UseAltKey = buffer[at::UseAltKey] != 0;
    values.BaudText = std::to_string(buffer[at::BaudRate] * kBaudRateUnit);
    values.CharDelayMs = delayMs(at::CharDelay);
    values.LineDelayMs = delayMs(at::LineDelay);
    values.Pavex = buffer[at::Pavex] != 0;
    values.ClrStx = buffer[at::ClrStx] != 0;
    values.ClrEtx = buffer[at::ClrEtx] != 0;
    values.ClrMem = buffer[at::ClrMem] != 0;
    values.FlowCtrlIndex = std::min<int>(buffer[at::FlowCtrl], lastFlow);
    values.EnterCtrlIndex =
        enter < static_cast<int>(kEnterControlNames.size()) ? enter : kNoEnterCtrl;
    return values;
}

void ApplyPavexCoupling(SettingsControlValues& values) {
    if (values.Pavex) {
        values.BaudText = std::to_string(kDefaultBaudRate);
    } else {
        values.ClrStx = false;
        values.ClrEtx = false;
        values.ClrMem = false;
    }
}

std::string DescribeSettings(const ReportBuffer& buffer) {
    auto decoded = DecodeSettings(buffer);
    if (!decoded) {
        return "no settings record (report ID " + std::to_string(buffer[0]) + ")\n";
    }
    SettingsControlValues values = *decoded;
    ApplyPavexCoupling(values);
    const auto yesNo = [](bool on) { return std::string(on ? "on" : "off"); };
    const std::string enter = values.EnterCtrlIndex == kNoEnterCtrl
                                  ? std::string("none")
                                  : std::string(kEnterControlNames[values.EnterCtrlIndex]);

    std::string text;
    text += "Version: " + values.VersionText + "\n";
    text += "Baud: " + values.BaudText + "\n";
    text += "Char delay: " + std::to_string(values.CharDelayMs) + " msec\n";
    text += "Line delay: " + std::to_string(values.LineDelayMs) + " msec\n";
    text += "Flow-Ctrl: " + std::string(kFlowControlNames[values.FlowCtrlIndex]) + "\n";
    text += "Enter ctrl: " + enter + "\n";
    text += "Use Alt-Key: " + yesNo(values.UseAltKey) + "\n";
    text += "Pavex mode: " + yesNo(values.Pavex) + "\n";
    text += "Clear data after transmited: " + yesNo(values.ClrMem) + "\n";
    text += "Clear STX Line: " + yesNo(values.ClrStx) + "\n";
    text += "Clear ETX Line: " + yesNo(values.ClrEtx) + "\n";
    return text;
}

}  // namespace quillon
