#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>

#include "device/records/PostgresRecordStore.h"
#include "device/records/RecordSql.h"
#include "device/records/SqliteRecordStore.h"
#include "device/records/tests/PostgresServer.h"
#include "device/records/tests/RecordSamples.h"
#include "device/records/tests/StationProcess.h"
#include "tests/TempDirectory.h"

namespace quillon::records::test {
namespace {

namespace fs = std::filesystem;

bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// Two records are the same adapter's when everything but the store's identity matches.
void ExpectSameAdapter(const StationRecord& got, const StationRecord& expected) {
    const auto gotValues = sql::RecordValues(got);
    auto expectedValues = sql::RecordValues(expected);
    for (size_t i = 2; i < gotValues.size(); ++i) {
        EXPECT_EQ(gotValues[i], expectedValues[i]) << sql::RecordColumns()[i].Name;
    }
}

std::string SqliteValue(const fs::path& file, const std::string& statement) {
    sqlite3* db = nullptr;
    std::string value;
    if (sqlite3_open(file.c_str(), &db) == SQLITE_OK) {
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

// The same six records in the station's file and on a line's server, asked the same questions.
class RecordStoreTest : public ::testing::TestWithParam<std::string> {
  protected:
    void SetUp() override {
        folder = quillon::test::MakeTempDirectory("quillon-records-");
        if (GetParam() == "postgresql") {
            QUILLON_REQUIRE_POSTGRES();
            std::string error;
            ASSERT_TRUE(server.Start(error)) << error;
            auto opened = PostgresRecordStore::Open(server.Url());
            ASSERT_TRUE(opened) << opened.Error().Message;
            store = std::move(*opened);
        } else {
            auto opened = SqliteRecordStore::Open((folder / "records.db").string());
            ASSERT_TRUE(opened) << opened.Error().Message;
            store = std::move(*opened);
        }
        int64_t sequence = 0;
        for (StationRecord record : KnownRecords()) {
            record.StationId = "id-" + record.Station;
            record.Sequence = ++sequence;
            ASSERT_TRUE(store->Append(record));
        }
    }
    void TearDown() override { fs::remove_all(folder); }

    std::vector<StationRecord> Query(const RecordFilter& filter) {
        auto records = store->Query(filter);
        EXPECT_TRUE(records) << records.Error().Message;
        return records ? *records : std::vector<StationRecord>();
    }
    std::vector<int> Numbers(const RecordFilter& filter) {
        std::vector<int> numbers;
        for (const StationRecord& record : Query(filter)) {
            numbers.push_back(record.SettingsBytes.at(1));
        }
        return numbers;
    }
    std::vector<std::tuple<std::string, int64_t, int64_t, double>> Summary(SummaryBy by) {
        auto rows = store->Summary({}, by);
        EXPECT_TRUE(rows) << rows.Error().Message;
        std::vector<std::tuple<std::string, int64_t, int64_t, double>> plain;
        for (const SummaryRow& row : rows ? *rows : std::vector<SummaryRow>()) {
            plain.emplace_back(row.Key, row.Count, row.Passed, row.MeanSeconds);
        }
        return plain;
    }

    fs::path folder;
    PostgresServer server;
    std::unique_ptr<IRecordStore> store;
};

TEST_P(RecordStoreTest, GivesBackEveryFieldAndAnswersFiltersAndSummaries) {
    const std::vector<StationRecord> known = KnownRecords();
    const std::vector<StationRecord> all = Query({});
    ASSERT_EQ(all.size(), known.size());
    for (size_t i = 0; i < all.size(); ++i) {
        ExpectSameAdapter(all[i], known[i]);
    }

    using Numbers = std::vector<int>;
    EXPECT_EQ(this->Numbers(Filter([](auto& f) { f.Since = At("2026-03-02"); })),
              (Numbers{4, 5, 6}));
    EXPECT_EQ(this->Numbers(Filter([](auto& f) { f.Until = ParseUtcTime("2026-03-01")->End; })),
              (Numbers{1, 2, 3}));
    EXPECT_EQ(this->Numbers(Filter([](auto& f) {
        f.Since = At("2026-03-01T09:01");
        f.Until = At("2026-03-02T08:30");
    })),
              (Numbers{2, 3, 4}));
    EXPECT_EQ(this->Numbers(Filter([](auto& f) { f.Passed = false; })), (Numbers{3, 5}));
    EXPECT_EQ(this->Numbers(Filter([](auto& f) { f.Port = "1-2"; })), (Numbers{1, 5}));
    EXPECT_EQ(this->Numbers(Filter([](auto& f) { f.Port = "/dev/hidraw3"; })), (Numbers{3}));
    EXPECT_EQ(this->Numbers(Filter([](auto& f) { f.FirmwareCrc = "1A2B3C4D"; })), (Numbers{1, 2}));
    EXPECT_EQ(this->Numbers(Filter([](auto& f) {
        f.Passed = true;
        f.Station = "line-b";
    })),
              (Numbers{6}));
    EXPECT_EQ(this->Numbers(Filter([](auto& f) { f.Limit = 2; })), (Numbers{6, 5}));
    EXPECT_EQ(this->Numbers(Filter([](auto& f) { f.Station = "line-c"; })), Numbers{});

    using Rows = std::vector<std::tuple<std::string, int64_t, int64_t, double>>;
    EXPECT_EQ(Summary(SummaryBy::All), (Rows{{"", 6, 4, 1.9}}));
    EXPECT_EQ(Summary(SummaryBy::Day),
              (Rows{{"2026-03-01", 3, 2, 2.2}, {"2026-03-02", 3, 2, 1.6}}));
    EXPECT_EQ(Summary(SummaryBy::Firmware), (Rows{{"scanner-2.4.hex 1a2b3c4d", 2, 2, 2.1},
                                                  {"scanner-2.5.hex 5e6f7a8b", 4, 2, 1.8}}));
    EXPECT_EQ(Summary(SummaryBy::Station), (Rows{{"line-a", 3, 3, 2.0}, {"line-b", 3, 1, 1.8}}));
    EXPECT_EQ(Summary(SummaryBy::Reason),
              (Rows{{"", 4, 4, 2.025}, {"update: ERROR: set report", 2, 0, 1.65}}));
}

INSTANTIATE_TEST_SUITE_P(Engines, RecordStoreTest, ::testing::Values("sqlite", "postgresql"),
                         [](const auto& info) { return info.param; });

class SqliteRecordStoreTest : public ::testing::Test {
  protected:
    void TearDown() override { fs::remove_all(folder); }

    const fs::path folder = quillon::test::MakeTempDirectory("quillon-records-");
    const fs::path file = folder / "records.db";
};

TEST_F(SqliteRecordStoreTest, RefusesWhatItCannotUseNamingThePathAndTheReason) {
    const auto refused = [](const fs::path& path, RecordError error, const std::string& reason) {
        auto opened = SqliteRecordStore::Open(path.string());
        ASSERT_FALSE(opened) << path;
        EXPECT_EQ(opened.Error().Error, error);
        EXPECT_TRUE(Contains(opened.Error().Message, path.string())) << opened.Error().Message;
        EXPECT_TRUE(Contains(opened.Error().Message, reason)) << opened.Error().Message;
    };

    // Laid out by a newer program: refused, and left as it was.
    ASSERT_TRUE(SqliteRecordStore::Open(file.string()));
    SqliteValue(file, "UPDATE records_schema SET version = 7");
    refused(file, RecordError::NewerSchema, "newer program (layout version 7");
    EXPECT_EQ(SqliteValue(file, "SELECT version FROM records_schema"), "7");

    // Not a database at all, or another program's.
    std::ofstream(folder / "notes.db") << std::string(4096, 'x');
    refused(folder / "notes.db", RecordError::CannotOpen, "not a record database");
    SqliteValue(folder / "other.db", "CREATE TABLE songs (title TEXT)");
    refused(folder / "other.db", RecordError::CannotOpen, "another program's tables");
    EXPECT_EQ(SqliteValue(folder / "other.db", "SELECT COUNT(*) FROM sqlite_master"), "1");

    // A folder that cannot be made, and one that may not be written (which root may).
    std::ofstream(folder / "plain-file") << "x";
    refused(folder / "plain-file" / "records.db", RecordError::CannotOpen, "Not a directory");
    if (::geteuid() != 0) {
        fs::create_directory(folder / "read-only");
        fs::permissions(folder / "read-only", fs::perms::owner_read | fs::perms::owner_exec);
        refused(folder / "read-only" / "records.db", RecordError::CannotOpen,
                "unable to open database file");
    }
}

// A station killed while it appends (as a pulled plug would end it) leaves a database that
// opens, with every record it had committed, each one whole.
TEST_F(SqliteRecordStoreTest, KillNineLeavesEveryCommittedRecordWhole) {
    StationProcess station({"--db", file.string(), "--station", "crash", "--forever"});
    ASSERT_TRUE(station.Started());
    int64_t committed = 0;
    while (committed < 300) {
        const auto line = station.ReadLine(std::chrono::seconds(60));
        ASSERT_TRUE(line && line->starts_with("appended ")) << line.value_or("(ended)");
        committed = std::stoll(line->substr(9));
    }
    EXPECT_EQ(station.Kill(), 128 + SIGKILL);

    EXPECT_EQ(SqliteValue(file, "PRAGMA integrity_check"), "ok");
    auto store = SqliteRecordStore::Open(file.string());
    ASSERT_TRUE(store) << store.Error().Message;
    auto records = (*store)->Query({});
    ASSERT_TRUE(records) << records.Error().Message;
    ASSERT_GE(records->size(), static_cast<size_t>(committed));
    for (size_t i = 0; i < records->size(); ++i) {
        const StationRecord& record = (*records)[i];
        ASSERT_EQ(record.Sequence, static_cast<int64_t>(i + 1));
        ExpectSameAdapter(record, SampleRecord("crash", static_cast<int>(record.Sequence)));
    }
}

// Two stations appending to one file at once wait for each other; both finish, nothing lost.
TEST_F(SqliteRecordStoreTest, TwoStationsOnOneFileBothSucceed) {
    constexpr int kEach = 300;
    StationProcess first({"--db", file.string(), "--station", "first", "--count", "300"});
    StationProcess second({"--db", file.string(), "--station", "second", "--count", "300"});
    EXPECT_EQ(first.Wait(), 0);
    EXPECT_EQ(second.Wait(), 0);

    auto store = SqliteRecordStore::Open(file.string());
    ASSERT_TRUE(store) << store.Error().Message;
    for (const char* station : {"first", "second"}) {
        auto records = (*store)->Query(Filter([&](auto& f) { f.Station = station; }));
        ASSERT_TRUE(records);
        ASSERT_EQ(records->size(), static_cast<size_t>(kEach)) << station;
        for (int number = 1; number <= kEach; ++number) {
            ExpectSameAdapter((*records)[static_cast<size_t>(number - 1)],
                              SampleRecord(station, number));
        }
    }
}

}  // namespace
}  // namespace quillon::records::test
