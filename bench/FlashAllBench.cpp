// `quillon-cli flash --all` on 4 emulated adapters that take 1 ms per feature transfer,
// against the same update of one adapter. Each adapter is updated on its own thread, so the
// four should take little longer than one (the aim: less than 1.3 times as long).
//
//   build/bench/bench_flash_all --benchmark_repetitions=3 --benchmark_report_aggregates_only

#include <QCoreApplication>

#include "bench/SlowAdaptersCli.h"

namespace {

using namespace quillon::bench;

double FlashSeconds(int adapters) {
    return CliSeconds({"flash", QString::fromStdString(UpdateFile()), "--all"}, adapters);
}

void BM_FlashAll(benchmark::State& state) {
    TimeRuns(state, FlashSeconds);
}
BENCHMARK(BM_FlashAll)
    ->Arg(1)
    ->Arg(4)
    ->UseManualTime()
    ->Iterations(3)
    ->Unit(benchmark::kMillisecond);

void BM_FlashAllRatio(benchmark::State& state) {
    TimeRatio(state, 4, FlashSeconds);
}
BENCHMARK(BM_FlashAllRatio)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
