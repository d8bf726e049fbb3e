// `quillon-cli flash --all` on 4 emulated adapters that take 1 ms per feature transfer,
// against the same update of one adapter. Each adapter is updated on its own thread, so the
// four should take little longer than one (the aim: less than 1.3 times as long).
//
//   build/bench/bench_flash_all --benchmark_repetitions=3 --benchmark_report_aggregates_only

#include "bench/SlowAdaptersCli.h"

namespace {

using namespace quillon::bench;

double FlashSeconds(int adapters) {
    return CliSeconds({"flash", QString::fromStdString(UpdateFile()), "--all"}, adapters);
}

}  // namespace

int main(int argc, char** argv) {
    return quillon::bench::RunManyAgainstOne(argc, argv, "BM_FlashAll", 4, FlashSeconds);
}
