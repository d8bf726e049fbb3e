// `quillon-cli provision` with eight emulated adapters plugged in at the same moment, against
// one, each taking 1 ms per feature transfer: firmware update, settings written and read back.
// Each adapter is provisioned on its own thread, so the eight should take little longer than
// the one (the aim: at most 1.3 times as long).
//
//   build/bench/bench_provision --benchmark_repetitions=3 --benchmark_report_aggregates_only

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

}  // namespace

int main(int argc, char** argv) {
    return quillon::bench::RunManyAgainstOne(argc, argv, "BM_Provision", 8, ProvisionSeconds);
}
