#include <gtest/gtest.h>

#include "device/records/SqliteRecordStore.h"
#include "device/records/tests/RecordSamples.h"
#include "device/records/tests/StationProcess.h"
#include "tests/TempDirectory.h"

namespace quillon::records::test {
namespace {

namespace fs = std::filesystem;

// Stations as processes of their own on one file: one killed mid-append, two at once.
class RecordProcessTest : public ::testing::Test {
  protected:
    void TearDown() override { fs::remove_all(folder); }

    const fs::path folder = quillon::test::MakeTempDirectory("quillon-records-");
    const fs::path file = folder / "records.db";
};

// A station killed while it appends (as a pulled plug would end it) leaves a database that
// opens, with every record it had committed, each one whole.
TEST_F(RecordProcessTest, KillNineLeavesEveryCommittedRecordWhole) {
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
TEST_F(RecordProcessTest, TwoStationsOnOneFileBothSucceed) {
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
