#pragma once

// Shared by the benchmarks that time quillon-cli on several slow emulated adapters at once
// against one: a run of the tool in-process, the ratio of the two best times, and the
// program that registers and runs both.

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QStringList>
#include <algorithm>
#include <chrono>
#include <sstream>
#include <string>
#include <string_view>

#include "cli/CliRunner.h"
#include "hid/emulated/EmulatedBus.h"
#include "hid/emulated/QuillonAdapter.h"
#include "tests/HexFiles.h"

namespace quillon::bench {

inline const std::string& UpdateFile() {
    static const testing::TempDir folder;
    static const std::string file =
        folder.Write("update.hex", testing::HexFileFor(testing::PatternImage()));
    return file;
}

// Seconds for one run of the tool with these arguments (--emulate=N added) on N emulated
// adapters, all there from the start and each taking 1 ms per feature transfer; -1 when the
// tool did not succeed.
inline double CliSeconds(QStringList arguments, int adapters) {
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
    arguments.prepend("quillon-cli");
    arguments.append(QString("--emulate=%1").arg(adapters));
    std::ostringstream out;
    std::ostringstream err;
    const auto start = std::chrono::steady_clock::now();
    const int code = cli::RunCli(arguments, out, err, env);
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    return code == 0 ? took.count() : -1.0;
}

// Times runs(adapters) for the counts the benchmark's argument gives.
template <typename Run>
void TimeRuns(benchmark::State& state, Run run) {
    const int adapters = static_cast<int>(state.range(0));
    for (auto _ : state) {
        const double seconds = run(adapters);
        if (seconds < 0) {
            state.SkipWithError("the tool failed");
            return;
        }
        state.SetIterationTime(seconds);
    }
    state.counters["adapters"] = adapters;
}

// The figure asked for: the time for `many` adapters over the time for one, each the best of
// three runs.
template <typename Run>
void TimeRatio(benchmark::State& state, int many, Run run) {
    for (auto _ : state) {
        double one = 1e9;
        double several = 1e9;
        for (int repeat = 0; repeat < 3; ++repeat) {
            one = std::min(one, run(1));
            several = std::min(several, run(many));
        }
        if (one <= 0 || several <= 0) {
            state.SkipWithError("the tool failed");
            return;
        }
        state.counters["one_ms"] = one * 1000;
        state.counters["many_ms"] = several * 1000;
        state.counters["ratio"] = several / one;
    }
}

// The whole benchmark program for one command: `name` times run(1) and run(many), and
// `name`Ratio their quotient; then runs what the command line asks for.
inline int RunManyAgainstOne(int argc, char** argv, std::string_view name, int many,
                             double (*run)(int)) {
    QCoreApplication application(argc, argv);
    benchmark::RegisterBenchmark(std::string(name).c_str(),
                                 [run](benchmark::State& state) { TimeRuns(state, run); })
        ->Arg(1)
        ->Arg(many)
        ->UseManualTime()
        ->Iterations(3)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark(
        (std::string(name) + "Ratio").c_str(),
        [many, run](benchmark::State& state) { TimeRatio(state, many, run); })
        ->Iterations(1)
        ->Unit(benchmark::kMillisecond);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

}  // namespace quillon::bench
