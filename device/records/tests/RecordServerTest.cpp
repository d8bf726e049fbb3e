#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>
#include <thread>

#include "device/records/PostgresRecordStore.h"
#include "device/records/StationRecords.h"
#include "device/records/tests/PostgresServer.h"
#include "device/records/tests/RecordSamples.h"
#include "device/records/tests/StationProcess.h"
#include "tests/TempDirectory.h"

namespace quillon::records::test {
namespace {

namespace fs = std::filesystem;
using State = ForwarderStatus::State;
using namespace std::chrono_literals;

bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// Every status a forwarder told, for a test to wait on.
class StatusLog {
  public:
    std::function<void(const ForwarderStatus&)> Callback() {
        return [this](const ForwarderStatus& status) {
            std::lock_guard lock(mutex_);
            seen_.push_back(status);
            changed_.notify_all();
        };
    }
    size_t Count() {
        std::lock_guard lock(mutex_);
        return seen_.size();
    }
    // The first status in `state` told after the first `from`, waiting for it at most a minute.
    std::optional<ForwarderStatus> WaitFor(State state, size_t from = 0) {
        std::unique_lock lock(mutex_);
        std::optional<ForwarderStatus> found;
        changed_.wait_for(lock, 60s, [&] {
            for (size_t i = from; i < seen_.size(); ++i) {
                if (seen_[i].Now == state) {
                    found = seen_[i];
                    return true;
                }
            }
            return false;
        });
        return found;
    }

    // What the station would have told its user along the way.
    std::vector<std::string> Notices() {
        std::lock_guard lock(mutex_);
        std::vector<std::string> notices;
        ForwarderStatus before;
        for (const ForwarderStatus& status : seen_) {
            if (auto notice = StatusNotice(before, status)) {
                notices.push_back(*notice);
            }
            before = status;
        }
        return notices;
    }

  private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<ForwarderStatus> seen_;
};

// Waits until the server answers the statement with `value`, at most a minute.
bool ServerAnswers(const std::string& url, const std::string& statement, const std::string& value) {
    const auto deadline = std::chrono::steady_clock::now() + 60s;
    while (QueryValue(url, statement) != value) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(20ms);
    }
    return true;
}

class RecordServerTest : public ::testing::Test {
  protected:
    void SetUp() override {
        QUILLON_REQUIRE_POSTGRES();
        std::string error;
        ASSERT_TRUE(server.Start(error)) << error;
    }
    void TearDown() override { fs::remove_all(folder); }

    std::unique_ptr<StationRecords> OpenStation(const std::string& name, StatusLog& log,
                                                std::function<bool()> afterCommit = {},
                                                const std::string& url = {}) {
        RecordForwarder::Options forwarding;
        forwarding.ServerUrl = url.empty() ? server.Url() : url;
        forwarding.OnStatus = log.Callback();
        forwarding.FirstRetry = 50ms;
        forwarding.LongestRetry = 500ms;
        forwarding.AfterServerCommit = std::move(afterCommit);
        auto records = StationRecords::Open((folder / (name + ".db")).string(), forwarding);
        EXPECT_TRUE(records) << records.Error().Message;
        return records ? std::move(*records) : nullptr;
    }

    // "1,2,3,..." in the order the server stored the station's records.
    std::string ServerOrder(const std::string& station) {
        return QueryValue(server.Url(),
                          "SELECT string_agg(sequence::text, ',' ORDER BY id) FROM "
                          "station_records WHERE station = '" +
                              station + "'");
    }
    static std::string Counting(int to) {
        std::string text;
        for (int i = 1; i <= to; ++i) {
            text += (i == 1 ? "" : ",") + std::to_string(i);
        }
        return text;
    }

    PostgresServer server;
    const fs::path folder = quillon::test::MakeTempDirectory("quillon-records-");
};

TEST_F(RecordServerTest, FourStationsAtOnceStoreEveryRecordOnce) {
    std::vector<std::unique_ptr<StationProcess>> stations;
    for (int i = 1; i <= 4; ++i) {
        const std::string name = "station-" + std::to_string(i);
        stations.push_back(std::make_unique<StationProcess>(
            std::vector<std::string>{"--db", (folder / (name + ".db")).string(), "--station", name,
                                     "--count", "250", "--server", server.Url()}));
    }
    for (auto& station : stations) {
        EXPECT_EQ(station->Wait(), 0);
    }

    EXPECT_EQ(QueryValue(server.Url(), "SELECT COUNT(*) FROM station_records"), "1000");
    auto store = PostgresRecordStore::Open(server.Url());
    ASSERT_TRUE(store) << store.Error().Message;
    for (int i = 1; i <= 4; ++i) {
        const std::string name = "station-" + std::to_string(i);
        EXPECT_EQ(ServerOrder(name), Counting(250)) << name;
        auto records = (*store)->Query(Filter([&](auto& f) { f.Station = name; }));
        ASSERT_TRUE(records) << records.Error().Message;
        ASSERT_EQ(records->size(), 250u);
        for (const StationRecord& record : *records) {
            EXPECT_EQ(record.Product,
                      SampleRecord(name, static_cast<int>(record.Sequence)).Product);
        }
    }
}

TEST_F(RecordServerTest, ServerStoppedMidRunGetsEveryRecordOnceInEachStationsOrder) {
    StatusLog logA;
    StatusLog logB;
    auto a = OpenStation("a", logA);
    auto b = OpenStation("b", logB);
    ASSERT_TRUE(a && b);
    for (int number = 1; number <= 60; ++number) {
        ASSERT_TRUE(a->Append(SampleRecord("a", number)));
        ASSERT_TRUE(b->Append(SampleRecord("b", number)));
    }
    // Stopped as a crash would stop it, once records have begun to arrive.
    ASSERT_TRUE(ServerAnswers(server.Url(),
                              "SELECT COUNT(*) > 0 FROM station_records WHERE station = 'b'", "t"));
    const size_t beforeA = logA.Count();
    const size_t beforeB = logB.Count();
    server.Stop(true);

    for (int number = 61; number <= 120; ++number) {
        ASSERT_TRUE(a->Append(SampleRecord("a", number)));
        ASSERT_TRUE(b->Append(SampleRecord("b", number)));
    }
    const auto away = logA.WaitFor(State::Unreachable, beforeA);
    ASSERT_TRUE(away && logB.WaitFor(State::Unreachable, beforeB));
    EXPECT_TRUE(Contains(away->Reason, UrlForDisplay(server.Url()))) << away->Reason;
    EXPECT_GT(away->Backlog, 0);
    EXPECT_EQ(a->Local().Query({})->size(), 120u);

    std::string error;
    ASSERT_TRUE(server.Restart(error)) << error;
    ASSERT_TRUE(a->Forwarder()->WaitCaughtUp(60s));
    ASSERT_TRUE(b->Forwarder()->WaitCaughtUp(60s));
    const std::vector<std::string> notices = logA.Notices();
    ASSERT_EQ(notices.size(), 2u);
    EXPECT_EQ(notices[0],
              away->Reason + "; the records are kept on this station and sent when it is back");
    EXPECT_TRUE(notices[1].starts_with("the record server is reachable again")) << notices[1];
    EXPECT_EQ(ServerOrder("a"), Counting(120));
    EXPECT_EQ(ServerOrder("b"), Counting(120));
    EXPECT_EQ(*a->Local().UnsentCount(), 0);
}

// The server commits a batch and the connection is cut before the station hears of it: the
// station sends the batch again, and the server keeps one copy of each record.
TEST_F(RecordServerTest, LostAcknowledgementAfterCommitStoresNoDuplicate) {
    {
        auto local = SqliteRecordStore::Open((folder / "cut.db").string());
        ASSERT_TRUE(local);
        for (int number = 1; number <= 30; ++number) {
            ASSERT_TRUE((*local)->Append(SampleRecord("cut", number)));
        }
    }
    std::atomic<int> commits{0};
    std::string onServerAtCut;
    std::string terminated;
    StatusLog log;
    auto station = OpenStation("cut", log, [&] {
        if (commits++ > 0) {
            return true;
        }
        onServerAtCut = QueryValue(server.Url(), "SELECT COUNT(*) FROM station_records");
        terminated = QueryValue(server.SuperuserUrl(),
                                "SELECT COUNT(pg_terminate_backend(pid)) FROM pg_stat_activity "
                                "WHERE application_name = 'quillon-station'");
        return false;
    });
    ASSERT_TRUE(station);
    ASSERT_TRUE(station->Forwarder()->WaitCaughtUp(60s));

    EXPECT_EQ(onServerAtCut, "30");
    EXPECT_EQ(terminated, "1");
    EXPECT_GE(commits.load(), 2);
    EXPECT_EQ(ServerOrder("cut"), Counting(30));
    EXPECT_EQ(*station->Local().UnsentCount(), 0);
}

TEST_F(RecordServerTest, BadUrlWrongPasswordAndNewerTablesAreToldAndTheStationGoesOn) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"postgresql://station@[::1/quillon", "is not valid"},
        {server.Url("wrong-pw"), "password authentication failed for user \"station\""},
    };
    for (const auto& [url, reason] : cases) {
        StatusLog log;
        auto station = OpenStation("refused", log, {}, url);
        ASSERT_TRUE(station);
        const auto status = log.WaitFor(State::Unreachable);
        ASSERT_TRUE(status) << url;
        EXPECT_TRUE(Contains(status->Reason, reason)) << status->Reason;
        EXPECT_TRUE(Contains(status->Reason, UrlForDisplay(url))) << status->Reason;
        EXPECT_FALSE(Contains(status->Reason, "wrong-pw")) << status->Reason;
        // The station keeps its records meanwhile.
        ASSERT_TRUE(station->Append(SampleRecord("refused", 1)));
        EXPECT_GE(*station->Local().UnsentCount(), 1);

        auto direct = OpenRecordStore(url);
        ASSERT_FALSE(direct);
        EXPECT_TRUE(Contains(direct.Error().Message, reason)) << direct.Error().Message;
    }

    ASSERT_TRUE(PostgresRecordStore::Open(server.Url()));
    EXPECT_EQ(QueryValue(server.Url(), "UPDATE records_schema SET version = 9"), "");
    auto newer = PostgresRecordStore::Open(server.Url());
    ASSERT_FALSE(newer);
    EXPECT_EQ(newer.Error().Error, RecordError::NewerSchema);
    EXPECT_TRUE(Contains(newer.Error().Message, "newer program (layout version 9"))
        << newer.Error().Message;
    EXPECT_EQ(QueryValue(server.Url(), "SELECT version FROM records_schema"), "9");
}

}  // namespace
}  // namespace quillon::records::test
