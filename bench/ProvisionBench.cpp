// `quillon-cli provision` with eight emulated adapters plugged in at the same moment, against
// one, each taking 1 ms per feature transfer: firmware update, settings written and read back.
// Each adapter is provisioned on its own thread, so the eight should take little longer than
// the one (the aim: at most 1.3 times as long).
//
//   build/bench/bench_provision --benchmark_repetitions=3 --benchmark_report_aggregates_only

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QStringList>
#include <algorithm>
#include <chrono>
#include <sstream>

#include "cli/CliRunner.h"
#include "firmware/tests/HexFiles.h"
#include "hid/emulated/EmulatedBus.h"
#include "hid/emulated/QuillonAdapter.h"

namespace {

using namespace quillon;
using Clock = std::chrono::steady_clock;

const std::string& UpdateFile() {
    static const testing::TempDir folder;
    static const std::string file =
        folder.Write("update.hex", testing::HexFileFor(testing::PatternImage()));
    return file;
}

// One station run, in-process, until `adapters` emulated adapters (all there at the start,
// as if plugged in together) have been provisioned.
double ProvisionSeconds(int adapters) {
    cli::CliEnvironment env;
    env.CreatePlatform = [](int count) -> std::unique_ptr<IHidPlatform> {
        auto bus = std::make_unique<emu::EmulatedBus>();
        for (int i = 0; i < count; ++i) {
            emu::PlugOptions options;
            options.TransferDelayMs = 1;
            bus->Plug(std::make_shared<emu::QuillonAdapter>(), options);
        }
        return bus;
    };
    std::ostringstream out;
    std::ostringstream err;
    const QStringList arguments{"quillon-cli",
                                "provision",
                                "--firmware",
                                QString::fromStdString(UpdateFile()),
                                "--set",
                                "baud=9600",
                                "enter=LF",
                                "--all-present",
                                "--count",
                                QString::number(adapters),
                                QString("--emulate=%1").arg(adapters)};
    const auto start = Clock::now();
    const int code = cli::RunCli(arguments, out, err, env);
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    return code == 0 ? seconds : -1.0;
}

void BM_Provision(benchmark::State& state) {
    const int adapters = static_cast<int>(state.range(0));
    for (auto _ : state) {
        const double seconds = ProvisionSeconds(adapters);
        if (seconds < 0) {
            state.SkipWithError("provisioning failed");
            return;
        }
        state.SetIterationTime(seconds);
    }
    state.counters["adapters"] = adapters;
}
BENCHMARK(BM_Provision)
    ->Arg(1)
    ->Arg(8)
    ->UseManualTime()
    ->Iterations(3)
    ->Unit(benchmark::kMillisecond);

// The figure asked for: time for eight over time for one, each the best of three runs.
void BM_ProvisionRatio(benchmark::State& state) {
    for (auto _ : state) {
        double one = 1e9;
        double eight = 1e9;
        for (int run = 0; run < 3; ++run) {
            one = std::min(one, ProvisionSeconds(1));
            eight = std::min(eight, ProvisionSeconds(8));
        }
        if (one <= 0 || eight <= 0) {
            state.SkipWithError("provisioning failed");
            return;
        }
        state.counters["one_ms"] = one * 1000;
        state.counters["eight_ms"] = eight * 1000;
        state.counters["ratio"] = eight / one;
    }
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
