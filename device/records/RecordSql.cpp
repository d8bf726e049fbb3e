#include "device/records/RecordSql.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <limits>

namespace quillon::records::sql {
namespace {

using enum ColumnType;

constexpr std::array<Column, 27> kColumns = {{
    {"station_id", Text},
    {"sequence", OptionalInteger},
    {"station", Text},
    {"time_ms", Integer},
    {"node", Text},
    {"usb_port", Text},
    {"vendor_id", Integer},
    {"product_id", Integer},
    {"version_before", Integer},
    {"version_after", OptionalInteger},
    {"manufacturer", Text},
    {"product", Text},
    {"firmware_file", Text},
    {"firmware_size", Integer},
    {"firmware_crc", Text},
    {"settings", Text},
    {"settings_bytes", Blob},
    {"update_result", Text},
    {"update_detail", Text},
    {"settings_result", Text},
    {"settings_detail", Text},
    {"verify_result", Text},
    {"verify_detail", Text},
    {"passed", Integer},
    {"reason", Text},
    {"millis", Integer},
    {"program_version", Text},
}};

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

std::string Placeholder(Dialect dialect, size_t number) {
    return (dialect == Dialect::Sqlite ? "?" : "$") + std::to_string(number);
}

// Reads a row's values one after the other, remembering whether any was not what it should be.
class RowReader {
  public:
    explicit RowReader(std::span<const Value> row) : row_(row) {}

    std::string Text() {
        const Value* value = Next();
        if (value == nullptr || !std::holds_alternative<std::string>(*value)) {
            sound_ = false;
            return {};
        }
        return std::get<std::string>(*value);
    }
    std::optional<int64_t> OptionalInteger(int64_t low, int64_t high) {
        const Value* value = Next();
        if (value != nullptr && std::holds_alternative<std::monostate>(*value)) {
            return std::nullopt;
        }
        if (value == nullptr || !std::holds_alternative<int64_t>(*value) ||
            std::get<int64_t>(*value) < low || std::get<int64_t>(*value) > high) {
            sound_ = false;
            return std::nullopt;
        }
        return std::get<int64_t>(*value);
    }
    int64_t Integer(int64_t low = std::numeric_limits<int64_t>::min(),
                    int64_t high = std::numeric_limits<int64_t>::max()) {
        const std::optional<int64_t> value = OptionalInteger(low, high);
        if (!value) {
            sound_ = false;
        }
        return value.value_or(0);
    }
    std::vector<uint8_t> Blob() {
        const Value* value = Next();
        if (value == nullptr || !std::holds_alternative<std::vector<uint8_t>>(*value)) {
            sound_ = false;
            return {};
        }
        return std::get<std::vector<uint8_t>>(*value);
    }
    StepRecord Step() {
        StepRecord step;
        step.Result = Text();
        step.Detail = Text();
        return step;
    }
    bool Sound() const { return sound_ && next_ == row_.size(); }

  private:
    const Value* Next() { return next_ < row_.size() ? &row_[next_++] : nullptr; }

    std::span<const Value> row_;
    size_t next_ = 0;
    bool sound_ = true;
};

constexpr int64_t kMaxUint16 = 0xFFFF;

// The WHERE clause of a filter; its placeholders are numbered on from the statement's.
void AddFilter(Dialect dialect, const RecordFilter& filter, Statement& statement) {
    std::vector<std::string> conditions;
    const auto condition = [&](const std::string& text, std::vector<Value> values) {
        std::string filled;
        size_t next = 0;
        for (const char c : text) {
            if (c == '@') {
                statement.Parameters.push_back(values.at(next++));
                filled += Placeholder(dialect, statement.Parameters.size());
            } else {
                filled += c;
            }
        }
        conditions.push_back(filled);
    };
    const auto millis = [](Clock::time_point time) -> Value {
        return static_cast<int64_t>(
            std::chrono::duration_cast<std::chrono::milliseconds>(time.time_since_epoch()).count());
    };
    if (filter.Since) {
        condition("time_ms >= @", {millis(*filter.Since)});
    }
    if (filter.Until) {
        condition("time_ms < @", {millis(*filter.Until)});
    }
    if (filter.Passed) {
        condition("passed = @", {static_cast<int64_t>(*filter.Passed ? 1 : 0)});
    }
    if (!filter.Port.empty()) {
        condition("(usb_port = @ OR node = @)", {filter.Port, filter.Port});
    }
    if (!filter.FirmwareCrc.empty()) {
        condition("firmware_crc = @", {Lower(filter.FirmwareCrc)});
    }
    if (!filter.Station.empty()) {
        condition("station = @", {filter.Station});
    }
    for (size_t i = 0; i < conditions.size(); ++i) {
        statement.Text += (i == 0 ? " WHERE " : " AND ") + conditions[i];
    }
}

}  // namespace

std::span<const Column> RecordColumns() {
    return kColumns;
}

std::string ColumnList() {
    std::string list;
    for (const Column& column : kColumns) {
        list += (list.empty() ? "" : ", ") + std::string(column.Name);
    }
    return list;
}

std::string ColumnDefinitions(Dialect dialect) {
    std::string definitions;
    for (const Column& column : std::span<const Column>(kColumns).subspan(2)) {
        std::string type;
        switch (column.Type) {
            case Integer:
                type = "BIGINT NOT NULL";
                break;
            case OptionalInteger:
                type = "BIGINT";
                break;
            case Text:
                type = "TEXT NOT NULL";
                break;
            case Blob:
                type = dialect == Dialect::Sqlite ? "BLOB NOT NULL" : "BYTEA NOT NULL";
                break;
        }
        definitions += (definitions.empty() ? "" : ", ") + std::string(column.Name) + " " + type;
    }
    return definitions;
}

std::vector<Value> RecordValues(const StationRecord& record) {
    const auto step = [](std::vector<Value>& values, const StepRecord& s) {
        values.emplace_back(s.Result);
        values.emplace_back(s.Detail);
    };
    std::vector<Value> values;
    values.reserve(kColumns.size());
    values.emplace_back(record.StationId);
    const auto optional = [&values](std::optional<int64_t> number) {
        if (number) {
            values.emplace_back(*number);
        } else {
            values.emplace_back();
        }
    };
    optional(record.Sequence > 0 ? std::optional<int64_t>(record.Sequence) : std::nullopt);
    values.emplace_back(record.Station);
    values.emplace_back(static_cast<int64_t>(
        std::chrono::duration_cast<std::chrono::milliseconds>(record.Time.time_since_epoch())
            .count()));
    values.emplace_back(record.Node);
    values.emplace_back(record.UsbPort);
    values.emplace_back(static_cast<int64_t>(record.VendorId));
    values.emplace_back(static_cast<int64_t>(record.ProductId));
    values.emplace_back(static_cast<int64_t>(record.VersionBefore));
    optional(record.VersionAfter ? std::optional<int64_t>(*record.VersionAfter) : std::nullopt);
    values.emplace_back(record.Manufacturer);
    values.emplace_back(record.Product);
    values.emplace_back(record.FirmwareFile);
    values.emplace_back(record.FirmwareSize);
    values.emplace_back(Lower(record.FirmwareCrc));
    values.emplace_back(record.Settings);
    values.emplace_back(record.SettingsBytes);
    step(values, record.Update);
    step(values, record.SettingsWrite);
    step(values, record.Verify);
    values.emplace_back(static_cast<int64_t>(record.Passed ? 1 : 0));
    values.emplace_back(record.Reason);
    values.emplace_back(static_cast<int64_t>(record.Took.count()));
    values.emplace_back(record.ProgramVersion);
    return values;
}

std::optional<StationRecord> RecordFromValues(std::span<const Value> row) {
    RowReader read(row);
    StationRecord record;
    record.StationId = read.Text();
    record.Sequence = read.OptionalInteger(1, std::numeric_limits<int64_t>::max()).value_or(0);
    record.Station = read.Text();
    record.Time = Clock::time_point(std::chrono::duration_cast<Clock::duration>(
        std::chrono::milliseconds(read.Integer(-(int64_t{1} << 50), int64_t{1} << 50))));
    record.Node = read.Text();
    record.UsbPort = read.Text();
    record.VendorId = static_cast<uint16_t>(read.Integer(0, kMaxUint16));
    record.ProductId = static_cast<uint16_t>(read.Integer(0, kMaxUint16));
    record.VersionBefore = static_cast<uint16_t>(read.Integer(0, kMaxUint16));
    if (const auto after = read.OptionalInteger(0, kMaxUint16)) {
        record.VersionAfter = static_cast<uint16_t>(*after);
    }
    record.Manufacturer = read.Text();
    record.Product = read.Text();
    record.FirmwareFile = read.Text();
    record.FirmwareSize = read.Integer(0);
    record.FirmwareCrc = read.Text();
    record.Settings = read.Text();
    record.SettingsBytes = read.Blob();
    record.Update = read.Step();
    record.SettingsWrite = read.Step();
    record.Verify = read.Step();
    record.Passed = read.Integer(0, 1) == 1;
    record.Reason = read.Text();
    record.Took = std::chrono::milliseconds(read.Integer(0));
    record.ProgramVersion = read.Text();
    if (!read.Sound()) {
        return std::nullopt;
    }
    return record;
}

Statement InsertStatement(Dialect dialect, const StationRecord& record) {
    Statement statement;
    statement.Parameters = RecordValues(record);
    statement.Text =
        std::string("INSERT INTO ") + kRecordTable + " (" + ColumnList() + ") VALUES (";
    for (size_t i = 1; i <= kColumns.size(); ++i) {
        statement.Text += (i == 1 ? "" : ", ") + Placeholder(dialect, i);
    }
    statement.Text += ")";
    if (dialect == Dialect::Postgres) {
        // A record sent again after a lost acknowledgement is already there: it stays once.
        statement.Text += " ON CONFLICT (station_id, sequence) DO NOTHING";
    }
    return statement;
}

Statement SelectStatement(Dialect dialect, const RecordFilter& filter) {
    Statement statement;
    statement.Text = "SELECT " + ColumnList() + " FROM " + kRecordTable;
    AddFilter(dialect, filter, statement);
    if (filter.Limit) {
        statement.Text += " ORDER BY time_ms DESC, station_id DESC, sequence DESC LIMIT ";
        statement.Parameters.emplace_back(std::max<int64_t>(*filter.Limit, 0));
        statement.Text += Placeholder(dialect, statement.Parameters.size());
    } else {
        statement.Text += " ORDER BY time_ms, station_id, sequence";
    }
    return statement;
}

size_t SummaryKeyColumns(SummaryBy by) {
    switch (by) {
        case SummaryBy::All:
            return 0;
        case SummaryBy::Firmware:
            return 2;
        default:
            return 1;
    }
}

Statement SummaryStatement(Dialect dialect, const RecordFilter& filter, SummaryBy by) {
    std::string keys;
    switch (by) {
        case SummaryBy::All:
            break;
        case SummaryBy::Day:
            keys = dialect == Dialect::Sqlite
                       ? "strftime('%Y-%m-%d', time_ms / 1000, 'unixepoch')"
                       : "to_char(to_timestamp(time_ms / 1000) AT TIME ZONE 'UTC', 'YYYY-MM-DD')";
            break;
        case SummaryBy::Firmware:
            keys = "firmware_file, firmware_crc";
            break;
        case SummaryBy::Station:
            keys = "station";
            break;
        case SummaryBy::Reason:
            keys = "reason";
            break;
    }
    // The sums are cast so that both engines answer with whole numbers.
    Statement statement;
    statement.Text = "SELECT " + (keys.empty() ? "" : keys + ", ") +
                     "COUNT(*), CAST(COALESCE(SUM(passed), 0) AS BIGINT), "
                     "CAST(COALESCE(SUM(millis), 0) AS BIGINT) FROM " +
                     kRecordTable;
    AddFilter(dialect, filter, statement);
    if (!keys.empty()) {
        statement.Text += " GROUP BY " + keys + " ORDER BY " + keys;
    }
    return statement;
}

std::optional<SummaryRow> SummaryFromValues(SummaryBy by, std::span<const Value> row) {
    RowReader read(row);
    SummaryRow summary;
    for (size_t i = 0; i < SummaryKeyColumns(by); ++i) {
        const std::string part = read.Text();
        if (!part.empty()) {
            summary.Key += (summary.Key.empty() ? "" : " ") + part;
        }
    }
    summary.Count = read.Integer(0);
    summary.Passed = read.Integer(0, summary.Count);
    const int64_t millis = read.Integer(0);
    if (!read.Sound()) {
        return std::nullopt;
    }
    summary.MeanSeconds =
        summary.Count == 0 ? 0 : static_cast<double>(millis) / summary.Count / 1000.0;
    return summary;
}

}  // namespace quillon::records::sql
