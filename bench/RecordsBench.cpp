// The provisioning records: how long one record adds to a job (committed to the station's file,
// synchronously, to the disk), how many records a second the file takes, and how many a second
// the forwarder sends to a PostgreSQL server. The file lies in the temporary folder (TMPDIR
// chooses the disk); the server is one of the benchmark's own on the loopback, started as the
// tests start theirs and run without fsync, so its figure is that of the forwarder and the
// protocol rather than of the server's disk.
//
//   build/bench/bench_records --benchmark_repetitions=3 --benchmark_report_aggregates_only

#include <benchmark/benchmark.h>

#include "device/records/StationRecords.h"
#include "device/records/tests/PostgresServer.h"
#include "device/records/tests/RecordSamples.h"
#include "tests/TempDirectory.h"

namespace {

using namespace quillon::records;
namespace fs = std::filesystem;

// Appends with nothing else going on: the time per iteration is the time one record adds to a
// job.
void BM_SqliteAppend(benchmark::State& state) {
    const fs::path folder = quillon::test::MakeTempDirectory("quillon-bench-records-");
    auto store = SqliteRecordStore::Open((folder / "records.db").string());
    if (!store) {
        state.SkipWithError(store.Error().Message.c_str());
        return;
    }
    int number = 0;
    for (auto _ : state) {
        auto appended = (*store)->Append(test::SampleRecord("bench", ++number));
        benchmark::DoNotOptimize(appended);
    }
    state.SetItemsProcessed(state.iterations());
    store->reset();
    fs::remove_all(folder);
}
BENCHMARK(BM_SqliteAppend)->Unit(benchmark::kMillisecond)->MinTime(2.0)->UseRealTime();

// The server of the benchmarks that need one, started once.
test::PostgresServer* Server(benchmark::State& state) {
    static test::PostgresServer server;
    static std::string error = [] {
        std::string why;
        if (!test::PostgresServer::Installed(why) || !server.Start(why)) {
            return why.empty() ? std::string("the server did not start") : why;
        }
        return std::string();
    }();
    if (!error.empty()) {
        state.SkipWithError(error.c_str());
        return nullptr;
    }
    return &server;
}

// The forwarder catching up on 1000 records kept on the station: records a second sent.
void BM_ForwardToPostgres(benchmark::State& state) {
    constexpr int kRecords = 1000;
    test::PostgresServer* server = Server(state);
    if (server == nullptr) {
        return;
    }
    int round = 0;
    for (auto _ : state) {
        state.PauseTiming();
        const fs::path folder = quillon::test::MakeTempDirectory("quillon-bench-records-");
        const std::string file = (folder / "records.db").string();
        {
            auto store = SqliteRecordStore::Open(file);
            for (int number = 1; number <= kRecords; ++number) {
                (void)(*store)->Append(
                    test::SampleRecord("forward-" + std::to_string(round), number));
            }
        }
        ++round;
        state.ResumeTiming();
        RecordForwarder::Options options;
        options.LocalPath = file;
        options.ServerUrl = server->Url();
        RecordForwarder forwarder(options);
        if (!forwarder.WaitCaughtUp(std::chrono::minutes(2))) {
            state.SkipWithError(forwarder.Status().Reason.c_str());
        }
        state.PauseTiming();
        fs::remove_all(folder);
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * kRecords);
}
BENCHMARK(BM_ForwardToPostgres)->Unit(benchmark::kMillisecond)->UseRealTime();

// Appends on a station of a line, its forwarder sending meanwhile: the time one record adds to
// a job there.
void BM_StationAppendWhileForwarding(benchmark::State& state) {
    test::PostgresServer* server = Server(state);
    if (server == nullptr) {
        return;
    }
    const fs::path folder = quillon::test::MakeTempDirectory("quillon-bench-records-");
    RecordForwarder::Options forwarding;
    forwarding.ServerUrl = server->Url();
    auto station = StationRecords::Open((folder / "records.db").string(), forwarding);
    if (!station) {
        state.SkipWithError(station.Error().Message.c_str());
        return;
    }
    int number = 0;
    for (auto _ : state) {
        auto appended = (*station)->Append(test::SampleRecord("line", ++number));
        benchmark::DoNotOptimize(appended);
    }
    state.SetItemsProcessed(state.iterations());
    (*station)->Forwarder()->WaitCaughtUp(std::chrono::minutes(2));
    station->reset();
    fs::remove_all(folder);
}
BENCHMARK(BM_StationAppendWhileForwarding)
    ->Unit(benchmark::kMillisecond)
    ->MinTime(2.0)
    ->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
