#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace quillon {

// The main window's one report buffer: byte 0 is the report ID, bytes 1 to 64 the report data.
// Settings reads and writes, raw reports and configuration files all pass through it.
inline constexpr std::size_t kReportBufferSize = 65;
using ReportBuffer = std::array<uint8_t, kReportBufferSize>;

// The adapter's settings travel as feature report 3.
inline constexpr uint8_t SettingsReportId = 3;

// Where each setting sits inside ReportBuffer. All fields are single unsigned bytes.
namespace DeviceSettings {
inline constexpr std::size_t ReportId = 0;
inline constexpr std::size_t Version = 1;
inline constexpr std::size_t UseAltKey = 2;
inline constexpr std::size_t BaudRate = 3;   // baud rate / 1200
inline constexpr std::size_t CharDelay = 4;  // milliseconds / 10
inline constexpr std::size_t LineDelay = 5;  // milliseconds / 10
inline constexpr std::size_t Pavex = 6;
inline constexpr std::size_t ClrStx = 7;
inline constexpr std::size_t ClrEtx = 8;
inline constexpr std::size_t ClrMem = 9;
inline constexpr std::size_t FlowCtrl = 10;   // index into kFlowControlNames
inline constexpr std::size_t EnterCtrl = 11;  // index into kEnterControlNames, 0xFF for none
inline constexpr std::size_t RecordMarker = 12;
// Bytes 13 to 63 belong to the adapter and are carried through untouched.
inline constexpr std::size_t RecordMarkerCopy = 64;
}  // namespace DeviceSettings

inline constexpr int kBaudRateUnit = 1200;
inline constexpr int kDelayUnitMs = 10;
inline constexpr int kMaxDelayMs = 2000;
inline constexpr int kDefaultBaudRate = 19200;
inline constexpr int kNoEnterCtrl = -1;

// The choices the settings page offers, in the order of their stored index (baud: list order).
inline constexpr std::array<std::string_view, 8> kBaudRateItems = {
    "1200", "2400", "4800", "9600", "19200", "38400", "57600", "115200"};
inline constexpr std::array<std::string_view, 2> kFlowControlNames = {"RTS/CTS", "Xon/Xoff"};
inline constexpr std::array<std::string_view, 3> kEnterControlNames = {"OFF", "CR", "LF"};

// What the settings controls hold, in the form the controls hold it: texts where the control is
// a text field, indices where it is a choice. The defaults are the page's initial state.
struct SettingsControlValues {
    std::string VersionText = "000";
    bool UseAltKey = false;
    std::string BaudText = "19200";
    int CharDelayMs = 0;
    int LineDelayMs = 0;
    bool Pavex = false;
    bool ClrStx = false;
    bool ClrEtx = false;
    bool ClrMem = false;
    int FlowCtrlIndex = 0;
    int EnterCtrlIndex = 0;  // kNoEnterCtrl when no item is selected

    bool operator==(const SettingsControlValues&) const = default;
};

// The integer a text field holds: optional blanks, an optional sign and decimal digits. Anything
// else, or a number outside 32 bits, gives fallback.
int ParseIntegerText(std::string_view text, int fallback);

// A delay in milliseconds as its stored byte: divided by 10, exact halves rounded to the even
// neighbour (15 -> 2, 25 -> 2, 35 -> 4), low 8 bits kept.
uint8_t EncodeDelay(int milliseconds);

// A baud-rate text as its stored byte: the quotient by 1200 truncated toward zero, low 8 bits
// kept; text that is not a number counts as 19200.
uint8_t EncodeBaudRate(std::string_view baudText);

// "%.3d": the version byte as at least three decimal digits.
std::string FormatVersion(uint8_t version);

// Fills bytes 1 to 12 from the control values; byte 12 is always set to 1. Byte 0 and bytes 13
// to 64 are left alone.
void EncodeSettings(const SettingsControlValues& values, ReportBuffer& buffer);

// The control values that show the record in the buffer, or nothing when byte 0 is not the
// settings report ID. Delays are limited to the field range, a flow byte above 1 means the last
// choice and an enter byte above 2 means no choice. The Pavex coupling is not applied here.
std::optional<SettingsControlValues> DecodeSettings(const ReportBuffer& buffer);

// What a display leaves on the page after the Pavex coupling: with Pavex mode on the baud
// field reads "19200", with it off the three clear options are off.
void ApplyPavexCoupling(SettingsControlValues& values);

// A readable account of the record in the buffer, one setting per line, as the page would
// show it; a note when byte 0 does not hold a settings record.
std::string DescribeSettings(const ReportBuffer& buffer);

}  // namespace quillon
