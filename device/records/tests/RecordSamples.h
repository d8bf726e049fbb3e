#pragma once

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <filesystem>
#include <string>
#include <vector>

#include "device/records/RecordSql.h"

namespace quillon::records::test {

inline Clock::time_point At(const std::string& text) {
    return ParseUtcTime(text)->Begin;
}

// A filter with the conditions that `set` gives it.
template <class Set>
RecordFilter Filter(Set set) {
    RecordFilter filter;
    set(filter);
    return filter;
}

// A passing adapter as a station records it; `number` tells the records of one station apart.
inline StationRecord SampleRecord(const std::string& station, int number) {
    StationRecord record;
    record.Station = station;
    record.Time = At("2026-03-02T08:00:00") + std::chrono::seconds(number);
    record.Node = "/dev/hidraw" + std::to_string(number % 8);
    record.UsbPort = "1-" + std::to_string(number % 4 + 1);
    record.VendorId = 0x169B;
    record.ProductId = 0x0110;
    record.VersionBefore = 0x0100;
    record.VersionAfter = 0x0101;
    record.Manufacturer = "Morvane";
    record.Product = "Quillon adapter #" + std::to_string(number);
    record.FirmwareFile = "scanner-2.4.hex";
    record.FirmwareSize = 28160;
    record.FirmwareCrc = "1a2b3c4d";
    record.Settings = "baud=19200 char-delay=0 line-delay=0";
    record.SettingsBytes.assign(64, 0);
    record.SettingsBytes[0] = 3;
    record.SettingsBytes[1] = static_cast<uint8_t>(number);
    record.Update = {"ok", "20 blocks"};
    record.SettingsWrite = {"ok", ""};
    record.Verify = {"ok", ""};
    record.Passed = true;
    record.Took = std::chrono::milliseconds(2000 + number);
    record.ProgramVersion = "1.0.1.0";
    return record;
}

// Six adapters over two days, two stations and two firmware files, two of them failed.
inline std::vector<StationRecord> KnownRecords() {
    std::vector<StationRecord> records;
    const auto add = [&](const char* station, const char* time, const char* firmware,
                         const char* crc, int took, const char* failure) {
        StationRecord record = SampleRecord(station, static_cast<int>(records.size()) + 1);
        record.Time = At(time);
        record.FirmwareFile = firmware;
        record.FirmwareCrc = crc;
        record.Took = std::chrono::milliseconds(took);
        if (failure != nullptr) {
            record.Passed = false;
            record.Reason = failure;
            record.VersionAfter.reset();
            record.Update = {"failed", failure};
            record.SettingsWrite = {};
            record.Verify = {};
        }
        records.push_back(record);
    };
    add("line-a", "2026-03-01T09:00:00", "scanner-2.4.hex", "1A2B3C4D", 2000, nullptr);
    add("line-a", "2026-03-01T09:01:00", "scanner-2.4.hex", "1a2b3c4d", 2200, nullptr);
    add("line-b", "2026-03-01T10:00:00", "scanner-2.5.hex", "5e6f7a8b", 2400,
        "update: ERROR: set report");
    add("line-a", "2026-03-02T08:00:00", "scanner-2.5.hex", "5e6f7a8b", 1800, nullptr);
    add("line-b", "2026-03-02T08:30:00", "scanner-2.5.hex", "5e6f7a8b", 900,
        "update: ERROR: set report");
    add("line-b", "2026-03-02T09:00:00", "scanner-2.5.hex", "5e6f7a8b", 2100, nullptr);
    // One with texts that need care in every output: a comma, quotes, a line break, UTF-8.
    records[5].Product = "Quillon \"Pro\", rev. B\nsecond line \xC3\xA9";
    return records;
}

// Two records are the same adapter's when everything but the store's identity matches.
inline void ExpectSameAdapter(const StationRecord& got, const StationRecord& expected) {
    const auto gotValues = sql::RecordValues(got);
    auto expectedValues = sql::RecordValues(expected);
    for (size_t i = 2; i < gotValues.size(); ++i) {
        EXPECT_EQ(gotValues[i], expectedValues[i]) << sql::RecordColumns()[i].Name;
    }
}

// The first value of a statement's answer, straight from the file.
inline std::string SqliteValue(const std::filesystem::path& file, const std::string& statement) {
    sqlite3* db = nullptr;
    std::string value;
    if (sqlite3_open(file.string().c_str(), &db) == SQLITE_OK) {
        sqlite3_exec(
            db, statement.c_str(),
            [](void* into, int, char** values, char**) {
                *static_cast<std::string*>(into) = values[0] != nullptr ? values[0] : "";
                return 0;
            },
            &value, nullptr);
    }
    sqlite3_close(db);
    return value;
}

}  // namespace quillon::records::test
