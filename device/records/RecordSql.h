#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <variant>
#include <vector>

#include "device/records/RecordStore.h"

// The SQL that both engines share: the table's columns, how a record becomes a row and back, and
// the statements of queries and summaries. Every value travels as a bound parameter.
namespace quillon::records::sql {

using Value = std::variant<std::monostate, int64_t, std::string, std::vector<uint8_t>>;

enum class ColumnType { Integer, OptionalInteger, Text, Blob };
struct Column {
    const char* Name;
    ColumnType Type;
};

// The record's columns, in the order of RecordValues.
std::span<const Column> RecordColumns();
// "station_id, sequence, station, ..."
std::string ColumnList();

enum class Dialect { Sqlite, Postgres };

// The definitions of the columns after station_id and sequence, which each engine declares in
// its own way: "station TEXT NOT NULL, time_ms BIGINT NOT NULL, ...".
std::string ColumnDefinitions(Dialect dialect);

// The row of a record; the sequence number is NULL while it has none.
std::vector<Value> RecordValues(const StationRecord& record);
// The record back from a row in RecordColumns' order; nothing when a value is missing, of the
// wrong type or out of range (what a server sends is not taken on trust).
std::optional<StationRecord> RecordFromValues(std::span<const Value> row);

struct Statement {
    std::string Text;
    std::vector<Value> Parameters;
};

constexpr const char* kRecordTable = "station_records";

Statement InsertStatement(Dialect dialect, const StationRecord& record);
// The records a filter takes, with every column of RecordColumns.
Statement SelectStatement(Dialect dialect, const RecordFilter& filter);
// The summary's rows: the key columns (text) first, then the count, the number passed and the
// sum of the milliseconds (integers).
Statement SummaryStatement(Dialect dialect, const RecordFilter& filter, SummaryBy by);
// How many key columns a summary row starts with.
size_t SummaryKeyColumns(SummaryBy by);
// A summary row from its values; nothing when they are not what the statement asks for.
std::optional<SummaryRow> SummaryFromValues(SummaryBy by, std::span<const Value> row);

}  // namespace quillon::records::sql
