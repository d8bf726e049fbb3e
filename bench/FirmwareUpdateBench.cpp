// A whole firmware update against the emulated adapter answering at once: the host's own
// time per transfer. A real bus needs 40 ms or more for the 323 transfers.

#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>

#include "firmware/UpdateRun.h"
#include "tests/AdapterDevice.h"
#include "tests/HexFiles.h"

namespace {

using namespace quillon;
using namespace quillon::firmware;

void CountTransfers(benchmark::State& state) {
    state.counters["per_transfer"] = benchmark::Counter(
        double(kTransfersPerUpdate),
        benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

// The protocol steps alone, the image already read.
void BM_UpdateProtocol(benchmark::State& state) {
    const FirmwareImage image = testing::PatternImage();
    emu::QuillonAdapter adapter;
    testing::AdapterDevice device(adapter);
    for (auto _ : state) {
        TUpdateProtocol protocol(&device, image);
        UpdateResult code = protocol.SendStart();
        for (int b = 0; b < kBlockCount && code == UpdateResult::Ready; ++b) {
            code = protocol.WriteBlock(b);
        }
        protocol.Finish();
        if (code != UpdateResult::Ready) {
            state.SkipWithError("update failed");
        }
        adapter.ClearLog();
    }
    CountTransfers(state);
}

// From the update file, as the command-line tool runs it.
void BM_UpdateFromFile(benchmark::State& state) {
    const std::string path =
        (std::filesystem::temp_directory_path() / "quillon-bench-update.hex").string();
    std::ofstream(path, std::ios::binary) << testing::HexFileFor(testing::PatternImage());
    emu::QuillonAdapter adapter;
    testing::AdapterDevice device(adapter);
    FirmwareImage image;
    for (auto _ : state) {
        if (!RunFirmwareUpdate(&device, path, image).Succeeded()) {
            state.SkipWithError("update failed");
        }
        adapter.ClearLog();
    }
    CountTransfers(state);
    std::filesystem::remove(path);
}

BENCHMARK(BM_UpdateProtocol)->Unit(benchmark::kMicrosecond)->Repetitions(7)->ReportAggregatesOnly();
BENCHMARK(BM_UpdateFromFile)->Unit(benchmark::kMicrosecond)->Repetitions(7)->ReportAggregatesOnly();

}  // namespace

BENCHMARK_MAIN();
