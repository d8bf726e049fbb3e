#include "device/records/SqliteRecordStore.h"

#include <sqlite3.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <random>
#include <thread>

#include "device/records/RecordSql.h"

namespace quillon::records {
namespace {

using sql::ColumnType;
using sql::Value;

// How long a writer waits for another program's transaction on the same file. Each holds the
// file for one short transaction, so this is only ever reached when something is stuck.
constexpr int kBusyTimeoutMs = 15000;

class Statement {
  public:
    Statement(sqlite3* db, const std::string& text) {
        code_ = sqlite3_prepare_v2(db, text.c_str(), static_cast<int>(text.size()), &statement_,
                                   nullptr);
    }
    ~Statement() { sqlite3_finalize(statement_); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    bool Prepared() const { return code_ == SQLITE_OK && statement_ != nullptr; }

    bool Bind(const std::vector<Value>& values) {
        static const uint8_t kNoBytes = 0;
        for (size_t i = 0; i < values.size(); ++i) {
            const int at = static_cast<int>(i + 1);
            const Value& value = values[i];
            int code = SQLITE_OK;
            if (std::holds_alternative<std::monostate>(value)) {
                code = sqlite3_bind_null(statement_, at);
            } else if (const auto* number = std::get_if<int64_t>(&value)) {
                code = sqlite3_bind_int64(statement_, at, *number);
            } else if (const auto* text = std::get_if<std::string>(&value)) {
                code = sqlite3_bind_text64(statement_, at, text->data(), text->size(),
                                           SQLITE_TRANSIENT, SQLITE_UTF8);
            } else {
                // An empty blob still needs a pointer, or it is taken for NULL.
                const auto& bytes = std::get<std::vector<uint8_t>>(value);
                code = sqlite3_bind_blob64(statement_, at, bytes.empty() ? &kNoBytes : bytes.data(),
                                           bytes.size(), SQLITE_TRANSIENT);
            }
            if (code != SQLITE_OK) {
                return false;
            }
        }
        return true;
    }

    // SQLITE_ROW, SQLITE_DONE or an error.
    int Step() { return sqlite3_step(statement_); }

    // The current row's values, read as the types given.
    std::vector<Value> Row(const std::vector<ColumnType>& types) const {
        std::vector<Value> row;
        row.reserve(types.size());
        for (size_t i = 0; i < types.size(); ++i) {
            const int at = static_cast<int>(i);
            const bool null = sqlite3_column_type(statement_, at) == SQLITE_NULL;
            switch (types[i]) {
                case ColumnType::Integer:
                case ColumnType::OptionalInteger:
                    row.push_back(null ? Value() : Value(sqlite3_column_int64(statement_, at)));
                    break;
                case ColumnType::Text: {
                    const auto* text =
                        reinterpret_cast<const char*>(sqlite3_column_text(statement_, at));
                    const int size = sqlite3_column_bytes(statement_, at);
                    row.push_back(null || text == nullptr ? Value()
                                                          : Value(std::string(text, size)));
                    break;
                }
                case ColumnType::Blob: {
                    const auto* bytes =
                        static_cast<const uint8_t*>(sqlite3_column_blob(statement_, at));
                    const int size = sqlite3_column_bytes(statement_, at);
                    row.emplace_back(bytes == nullptr ? std::vector<uint8_t>()
                                                      : std::vector<uint8_t>(bytes, bytes + size));
                    break;
                }
            }
        }
        return row;
    }

    void Reset() {
        sqlite3_reset(statement_);
        sqlite3_clear_bindings(statement_);
    }

  private:
    sqlite3_stmt* statement_ = nullptr;
    int code_ = SQLITE_OK;
};

// Paths travel as UTF-8, as SQLite takes them; the file system library is told so, also on
// Windows, where it would take a narrow string for the ANSI code page.
std::filesystem::path PathFromUtf8(const std::string& text) {
    return std::filesystem::path(std::u8string(text.begin(), text.end()));
}
std::string Utf8(const std::filesystem::path& path) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

// The system's reason behind SQLite's, where it has one that the C library can name.
std::string SystemReason(sqlite3* db) {
#ifdef _WIN32
    (void)db;  // a Windows error code, which strerror does not know
    return {};
#else
    const int system = sqlite3_system_errno(db);
    return system != 0 ? std::string(" (") + std::strerror(system) + ")" : std::string();
#endif
}

std::vector<ColumnType> RecordTypes() {
    std::vector<ColumnType> types;
    for (const sql::Column& column : sql::RecordColumns()) {
        types.push_back(column.Type);
    }
    return types;
}

std::string NewStationId() {
    std::random_device random;
    std::string id;
    for (int i = 0; i < 4; ++i) {
        char part[9];
        std::snprintf(part, sizeof part, "%08x", static_cast<unsigned>(random()));
        id += part;
    }
    return id;
}

// The layout's versions, each step taking a file from the version before it (0: empty).
std::vector<std::string> Migrations() {
    return {
        // 1: the records, the station's identity and the layout's version.
        "CREATE TABLE records_schema (version INTEGER NOT NULL);"
        "INSERT INTO records_schema (version) VALUES (0);"
        "CREATE TABLE records_station (id TEXT NOT NULL);"
        "CREATE TABLE station_records ("
        " sequence INTEGER PRIMARY KEY AUTOINCREMENT, station_id TEXT NOT NULL, " +
            sql::ColumnDefinitions(sql::Dialect::Sqlite) +
            ", sent INTEGER NOT NULL DEFAULT 0);"
            "CREATE INDEX station_records_time ON station_records (time_ms);"
            "CREATE INDEX station_records_unsent ON station_records (sequence) WHERE sent = 0;",
    };
}

}  // namespace

SqliteRecordStore::SqliteRecordStore(sqlite3* db, std::string path)
    : db_(db), path_(std::move(path)) {}

SqliteRecordStore::~SqliteRecordStore() {
    sqlite3_close_v2(db_);
}

std::string SqliteRecordStore::DefaultPath() {
    std::filesystem::path folder;
#ifdef _WIN32
    if (const wchar_t* local = _wgetenv(L"LOCALAPPDATA"); local != nullptr && *local != L'\0') {
        folder = local;
    } else if (const wchar_t* profile = _wgetenv(L"USERPROFILE"); profile != nullptr) {
        folder = std::filesystem::path(profile) / "AppData" / "Local";
    }
#else
    if (const char* data = std::getenv("XDG_DATA_HOME"); data != nullptr && *data == '/') {
        folder = data;
    } else if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0') {
        folder = std::filesystem::path(home) / ".local" / "share";
    }
#endif
    return Utf8(folder / "quillon-utility" / "records.db");
}

Failure<RecordError> SqliteRecordStore::Fail(const std::string& doing) const {
    const int code = sqlite3_extended_errcode(db_);
    std::string reason = sqlite3_errmsg(db_);
    if ((code & 0xFF) != SQLITE_NOTADB) {
        reason += SystemReason(db_);
    }
    if ((code & 0xFF) == SQLITE_NOTADB) {
        return RecordFailure(RecordError::CannotOpen,
                             path_ + " is not a record database: " + reason);
    }
    return RecordFailure(RecordError::Failed, "cannot " + doing + " " + path_ + ": " + reason);
}

RecordResult<std::unique_ptr<SqliteRecordStore>> SqliteRecordStore::Open(const std::string& path) {
    const std::filesystem::path file = PathFromUtf8(path);
    std::error_code error;
    if (file.has_parent_path() && !std::filesystem::is_directory(file.parent_path(), error)) {
        std::filesystem::create_directories(file.parent_path(), error);
        if (error) {
            return RecordFailure(
                RecordError::CannotOpen,
                "cannot create the folder of the record database " + path + ": " + error.message());
        }
    }
    if (std::filesystem::exists(file, error) && !std::filesystem::is_regular_file(file, error)) {
        return RecordFailure(RecordError::CannotOpen,
                             "cannot open the record database " + path + ": not a plain file");
    }
    sqlite3* db = nullptr;
    const int opened = sqlite3_open_v2(
        path.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_FULLMUTEX,
        nullptr);
    if (opened != SQLITE_OK) {
        std::string reason = db != nullptr ? sqlite3_errmsg(db) + SystemReason(db)
                                           : std::string(sqlite3_errstr(opened));
        sqlite3_close_v2(db);
        return RecordFailure(RecordError::CannotOpen,
                             "cannot open the record database " + path + ": " + reason);
    }
    std::unique_ptr<SqliteRecordStore> store(new SqliteRecordStore(db, path));
    sqlite3_extended_result_codes(db, 1);
    sqlite3_busy_timeout(db, kBusyTimeoutMs);
    // Switching a new file to the write-ahead log needs the file to itself, and SQLite does not
    // wait for that as it waits for a writer: a second station opening the same new file at the
    // same moment is told "locked" at once. So the opening as a whole is tried again until the
    // same deadline a writer would wait for.
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(kBusyTimeoutMs);
    std::minstd_rand jitter(std::random_device{}());
    for (;;) {
        bool busy = false;
        auto prepared = store->Prepare(busy);
        if (prepared) {
            break;
        }
        if (busy && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5 + jitter() % 20));
            continue;
        }
        Failure<RecordError> failure = prepared.Error();
        if (failure.Error == RecordError::Failed) {
            failure.Error = RecordError::CannotOpen;
        }
        return failure;
    }
    return store;
}

RecordResult<> SqliteRecordStore::Prepare(bool& busy) {
    busy = false;
    stationId_.clear();
    const auto failed = [this, &busy](const std::string& doing) {
        busy = (sqlite3_errcode(db_) & 0xFF) == SQLITE_BUSY;
        return Fail(doing);
    };
    const auto exec = [this](const std::string& text) {
        return sqlite3_exec(db_, text.c_str(), nullptr, nullptr, nullptr) == SQLITE_OK;
    };
    // Every commit reaches the disk before Append returns: a record once appended survives
    // a pulled plug. The write-ahead log lets readers (the forwarder, a query) go on meanwhile.
    {
        Statement wal(db_, "PRAGMA journal_mode=WAL");
        if (!wal.Prepared() || wal.Step() != SQLITE_ROW) {
            return failed("open the record database");
        }
    }
    if (!exec("PRAGMA synchronous=FULL") || !exec("BEGIN IMMEDIATE")) {
        return failed("open the record database");
    }
    const auto rollBack = [&exec](Failure<RecordError> failure) -> RecordResult<> {
        exec("ROLLBACK");
        return failure;
    };

    int version = 0;
    {
        Statement tables(db_,
                         "SELECT (SELECT COUNT(*) FROM sqlite_master WHERE type = 'table' AND "
                         "name = 'records_schema'), (SELECT COUNT(*) FROM sqlite_master)");
        if (!tables.Prepared() || tables.Step() != SQLITE_ROW) {
            return rollBack(failed("open the record database"));
        }
        const auto row = tables.Row({ColumnType::Integer, ColumnType::Integer});
        const bool hasSchema = std::get<int64_t>(row[0]) == 1;
        if (!hasSchema && std::get<int64_t>(row[1]) > 0) {
            return rollBack(RecordFailure(
                RecordError::CannotOpen,
                path_ + " is not a record database: it holds another program's tables"));
        }
        if (hasSchema) {
            Statement current(db_, "SELECT MAX(version) FROM records_schema");
            if (!current.Prepared() || current.Step() != SQLITE_ROW) {
                return rollBack(failed("read the layout version of"));
            }
            const auto value = current.Row({ColumnType::Integer})[0];
            version = std::holds_alternative<int64_t>(value)
                          ? static_cast<int>(std::get<int64_t>(value))
                          : 0;
        }
    }
    if (version > kSchemaVersion) {
        return rollBack(RecordFailure(
            RecordError::NewerSchema,
            "the record database " + path_ + " was laid out by a newer program (layout version " +
                std::to_string(version) + "; this program knows up to " +
                std::to_string(kSchemaVersion) + "); it was left unchanged"));
    }
    const std::vector<std::string> migrations = Migrations();
    for (; version < kSchemaVersion; ++version) {
        if (!exec(migrations[static_cast<size_t>(version)]) ||
            !exec("UPDATE records_schema SET version = " + std::to_string(version + 1))) {
            return rollBack(failed("lay out the record database"));
        }
    }

    {
        Statement id(db_, "SELECT id FROM records_station");
        if (!id.Prepared()) {
            return rollBack(failed("read the station identity of"));
        }
        if (id.Step() == SQLITE_ROW) {
            const auto value = id.Row({ColumnType::Text})[0];
            if (const auto* text = std::get_if<std::string>(&value)) {
                stationId_ = *text;
            }
        }
    }
    if (stationId_.empty()) {
        stationId_ = NewStationId();
        Statement insert(db_, "INSERT INTO records_station (id) VALUES (?1)");
        if (!insert.Prepared() || !insert.Bind({stationId_}) || insert.Step() != SQLITE_DONE) {
            return rollBack(failed("write the station identity of"));
        }
    }
    if (!exec("COMMIT")) {
        return rollBack(failed("lay out the record database"));
    }
    return {};
}

RecordResult<int64_t> SqliteRecordStore::Append(const StationRecord& record) {
    StationRecord stored = record;
    stored.StationId = stationId_;
    stored.Sequence = 0;
    const sql::Statement text = sql::InsertStatement(sql::Dialect::Sqlite, stored);
    std::lock_guard lock(mutex_);
    // A single statement is a transaction of its own: the record is there whole, or not at all.
    Statement insert(db_, text.Text);
    if (!insert.Prepared() || !insert.Bind(text.Parameters) || insert.Step() != SQLITE_DONE) {
        return Fail("append a record to");
    }
    return static_cast<int64_t>(sqlite3_last_insert_rowid(db_));
}

template <class Row, class Convert>
RecordResult<std::vector<Row>> SqliteRecordStore::SelectRows(const sql::Statement& statement,
                                                             const std::vector<ColumnType>& types,
                                                             const std::string& doing,
                                                             Convert convert) {
    std::lock_guard lock(mutex_);
    Statement select(db_, statement.Text);
    if (!select.Prepared() || !select.Bind(statement.Parameters)) {
        return Fail(doing);
    }
    std::vector<Row> rows;
    int step;
    while ((step = select.Step()) == SQLITE_ROW) {
        const std::optional<Row> row = convert(select.Row(types));
        if (!row) {
            return RecordFailure(RecordError::Failed,
                                 "cannot " + doing + " " + path_ + ": a record is damaged");
        }
        rows.push_back(*row);
    }
    if (step != SQLITE_DONE) {
        return Fail(doing);
    }
    return rows;
}

RecordResult<std::vector<StationRecord>> SqliteRecordStore::Query(const RecordFilter& filter) {
    return SelectRows<StationRecord>(sql::SelectStatement(sql::Dialect::Sqlite, filter),
                                     RecordTypes(), "read the records of",
                                     [](const auto& row) { return sql::RecordFromValues(row); });
}

RecordResult<std::vector<SummaryRow>> SqliteRecordStore::Summary(const RecordFilter& filter,
                                                                 SummaryBy by) {
    std::vector<ColumnType> types(sql::SummaryKeyColumns(by), ColumnType::Text);
    types.insert(types.end(), 3, ColumnType::Integer);
    return SelectRows<SummaryRow>(
        sql::SummaryStatement(sql::Dialect::Sqlite, filter, by), types, "summarise the records of",
        [by](const auto& row) { return sql::SummaryFromValues(by, row); });
}

RecordResult<std::vector<StationRecord>> SqliteRecordStore::Unsent(int64_t limit) {
    const sql::Statement statement{
        "SELECT " + sql::ColumnList() +
            " FROM station_records WHERE sent = 0 ORDER BY sequence LIMIT ?1",
        {limit}};
    return SelectRows<StationRecord>(statement, RecordTypes(), "read the records to send from",
                                     [](const auto& row) { return sql::RecordFromValues(row); });
}

RecordResult<> SqliteRecordStore::MarkSent(int64_t firstSequence, int64_t lastSequence) {
    std::lock_guard lock(mutex_);
    Statement update(db_,
                     "UPDATE station_records SET sent = 1 WHERE sent = 0 AND sequence BETWEEN ?1 "
                     "AND ?2");
    if (!update.Prepared() || !update.Bind({firstSequence, lastSequence}) ||
        update.Step() != SQLITE_DONE) {
        return Fail("mark records sent in");
    }
    return {};
}

RecordResult<int64_t> SqliteRecordStore::UnsentCount() {
    std::lock_guard lock(mutex_);
    Statement count(db_, "SELECT COUNT(*) FROM station_records WHERE sent = 0");
    if (!count.Prepared() || count.Step() != SQLITE_ROW) {
        return Fail("count the records to send in");
    }
    return std::get<int64_t>(count.Row({ColumnType::Integer})[0]);
}

}  // namespace quillon::records
