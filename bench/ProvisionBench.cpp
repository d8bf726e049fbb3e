// `quillon-cli provision` with eight emulated adapters plugged in at the same moment, against
// one, each taking 1 ms per feature transfer: firmware update, settings written and read back.
// Each adapter is provisioned on its own thread, so the eight should take little longer than
// the one (the aim: at most 1.3 times as long).
//
//   build/bench/bench_provision --benchmark_repetitions=3 --benchmark_report_aggregates_only

#include <QCoreApplication>

#include "bench/SlowAdaptersCli.h"

namespace {

using namespace quillon::bench;

// One station run until `adapters` adapters (all there at the start, as if plugged in
// together) have been provisioned.
double ProvisionSeconds(int adapters) {
    return CliSeconds(
        {"provision", "--firmware", QString::fromStdString(UpdateFile()), "--set", "baud=9600",
         "enter=LF", "--all-present", "--count", QString::number(adapters)},
        adapters);
}

void BM_Provision(benchmark::State& state) {
    TimeRuns(state, ProvisionSeconds);
}
BENCHMARK(BM_Provision)
    ->Arg(1)
    ->Arg(8)
    ->UseManualTime()
    ->Iterations(3)
    ->Unit(benchmark::kMillisecond);

void BM_ProvisionRatio(benchmark::State& state) {
    TimeRatio(state, 8, ProvisionSeconds);
}
BENCHMARK(BM_ProvisionRatio)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
