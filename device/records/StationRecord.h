#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace quillon::records {

using Clock = std::chrono::system_clock;

// One step of a provisioning job as it is kept: "ok", "failed", or empty when it did not run.
struct StepRecord {
    std::string Result;
    std::string Detail;
};

// What a provisioning station keeps about one adapter, flat so that every store writes and
// reads it column for column. Texts are UTF-8.
struct StationRecord {
    // Who wrote it: the local store's random identity and its own sequence number together name
    // a record uniquely across a whole line of stations; both are given by the local store
    // when the record is appended. The station's name is only for people.
    std::string StationId;
    int64_t Sequence = 0;
    std::string Station;

    Clock::time_point Time;  // when the job started (kept in UTC, to the millisecond)
    std::string Node;        // the node the job opened
    std::string UsbPort;     // "1-2.3"; empty when unknown
    uint16_t VendorId = 0;
    uint16_t ProductId = 0;
    uint16_t VersionBefore = 0;
    std::optional<uint16_t> VersionAfter;
    std::string Manufacturer;
    std::string Product;

    std::string FirmwareFile;  // empty: no update was asked for
    int64_t FirmwareSize = 0;  // bytes
    std::string FirmwareCrc;   // CRC-32 as eight lower-case hexadecimal digits

    std::string Settings;                // "baud=19200 char-delay=0 ..."; empty when none were
    std::vector<uint8_t> SettingsBytes;  // the settings record written, up to 64 bytes

    StepRecord Update;
    StepRecord SettingsWrite;
    StepRecord Verify;

    bool Passed = false;
    std::string Reason;  // why it failed; empty on a pass
    std::chrono::milliseconds Took{0};
    std::string ProgramVersion;
};

// The name a station goes by unless told otherwise: the computer's host name.
std::string DefaultStationName();

// A moment as "2026-01-31T14:05:09.250Z".
std::string UtcText(Clock::time_point time);

// A time given on a command line, in UTC: "2026-01-31", "2026-01-31T14:05", "2026-01-31 14:05:09",
// a trailing "Z" allowed. Gives the start of the period it names and the start of the next one
// (the next day, minute or second), so that "--until 2026-01-31" takes in that whole day.
struct TimeSpan {
    Clock::time_point Begin;
    Clock::time_point End;
};
std::optional<TimeSpan> ParseUtcTime(const std::string& text);

}  // namespace quillon::records
