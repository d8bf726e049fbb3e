#include <gtest/gtest.h>

#include <fstream>

#include "device/records/SqliteRecordStore.h"
#include "device/records/tests/RecordSamples.h"
#include "tests/TempDirectory.h"

#ifdef QUILLON_RECORDS_SERVER
#include "device/records/PostgresRecordStore.h"
#include "device/records/tests/PostgresServer.h"
#endif
#ifndef _WIN32
#include <unistd.h>
#endif

namespace quillon::records::test {
namespace {

namespace fs = std::filesystem;

bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// The same six records in the station's file and on a line's server, asked the same questions.
class RecordStoreTest : public ::testing::TestWithParam<std::string> {
  protected:
    void SetUp() override {
        folder = quillon::test::MakeTempDirectory("quillon-records-");
#ifdef QUILLON_RECORDS_SERVER
        if (GetParam() == "postgresql") {
            QUILLON_REQUIRE_POSTGRES();
            std::string error;
            ASSERT_TRUE(server.Start(error)) << error;
            auto opened = PostgresRecordStore::Open(server.Url());
            ASSERT_TRUE(opened) << opened.Error().Message;
            store = std::move(*opened);
        }
#endif
        if (GetParam() == "sqlite") {
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
    void TearDown() override {
        store.reset();  // Windows removes no file that is open
        fs::remove_all(folder);
    }

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
#ifdef QUILLON_RECORDS_SERVER
    PostgresServer server;
#endif
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

#ifdef QUILLON_RECORDS_SERVER
INSTANTIATE_TEST_SUITE_P(Engines, RecordStoreTest, ::testing::Values("sqlite", "postgresql"),
                         [](const auto& info) { return info.param; });
#else
INSTANTIATE_TEST_SUITE_P(Engines, RecordStoreTest, ::testing::Values("sqlite"),
                         [](const auto& info) { return info.param; });
#endif

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
#ifdef _WIN32
    const char* const notAFolder = "cannot create the folder";
#else
    const char* const notAFolder = "Not a directory";
#endif
    refused(folder / "plain-file" / "records.db", RecordError::CannotOpen, notAFolder);
#ifndef _WIN32
    if (::geteuid() != 0) {
        fs::create_directory(folder / "read-only");
        fs::permissions(folder / "read-only", fs::perms::owner_read | fs::perms::owner_exec);
        refused(folder / "read-only" / "records.db", RecordError::CannotOpen,
                "unable to open database file");
    }
#endif
}

}  // namespace
}  // namespace quillon::records::test
