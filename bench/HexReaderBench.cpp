// The update file reader's throughput on a 60 MB file, beside a plain memchr line count over
// the same bytes: the count is about as fast as anything that looks at every line can be.

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include "firmware/HexReader.h"

namespace {

using namespace quillon::firmware;

// 16-byte data records over consecutive 64 KB segments, each opened by an extended linear
// address record, the layout that tools write for large images.
const std::string& HexText() {
    static const std::string text = [] {
        constexpr size_t kTarget = 60u << 20;
        std::string out;
        out.reserve(kTarget + 4096);
        char line[64];
        uint32_t state = 12345;
        for (unsigned segment = 0; out.size() < kTarget; ++segment) {
            const unsigned sum = 2 + 4 + (segment >> 8) + (segment & 0xFF);
            std::snprintf(line, sizeof line, ":02000004%04X%02X\r\n", segment & 0xFFFF,
                          (0x100 - (sum & 0xFF)) & 0xFF);
            out += line;
            for (unsigned address = 0; address < 0x10000 && out.size() < kTarget; address += 16) {
                unsigned recordSum = 16 + (address >> 8) + (address & 0xFF);
                char* p = line + std::snprintf(line, sizeof line, ":10%04X00", address);
                for (int i = 0; i < 16; ++i) {
                    state = state * 1103515245u + 12345u;
                    const unsigned byte = (state >> 16) & 0xFF;
                    recordSum += byte;
                    p += std::snprintf(p, 3, "%02X", byte);
                }
                std::snprintf(p, 5, "%02X\r\n", (0x100 - (recordSum & 0xFF)) & 0xFF);
                out += line;
            }
        }
        out += ":00000001FF\r\n";
        return out;
    }();
    return text;
}

const std::string& HexFile() {
    static const std::string path = [] {
        const std::string file =
            (std::filesystem::temp_directory_path() / "quillon-bench-60mb.hex").string();
        std::ofstream(file, std::ios::binary) << HexText();
        return file;
    }();
    return path;
}

void BM_MemchrLineCount(benchmark::State& state) {
    const std::string& text = HexText();
    for (auto _ : state) {
        size_t lines = 0;
        const char* p = text.data();
        const char* end = p + text.size();
        while (const void* lf = std::memchr(p, '\n', size_t(end - p))) {
            ++lines;
            p = static_cast<const char*>(lf) + 1;
        }
        benchmark::DoNotOptimize(lines);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(text.size()));
}

void BM_ReadUpdateData(benchmark::State& state) {
    const std::string& text = HexText();
    FirmwareImage image;
    for (auto _ : state) {
        const HexReadResult result = ReadUpdateData(text.data(), text.size(), image);
        if (result.Code != 0) {
            state.SkipWithError(result.Message().c_str());
        }
        benchmark::DoNotOptimize(image.data());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(text.size()));
}

void BM_ReadUpdateFile(benchmark::State& state) {
    const std::string& path = HexFile();
    FirmwareImage image;
    for (auto _ : state) {
        const HexReadResult result = ReadUpdateFile(path, image);
        if (result.Code != 0) {
            state.SkipWithError(result.Message().c_str());
        }
        benchmark::DoNotOptimize(image.data());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(HexText().size()));
}

BENCHMARK(BM_MemchrLineCount)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(7)
    ->ReportAggregatesOnly();
BENCHMARK(BM_ReadUpdateData)->Unit(benchmark::kMillisecond)->Repetitions(7)->ReportAggregatesOnly();
BENCHMARK(BM_ReadUpdateFile)->Unit(benchmark::kMillisecond)->Repetitions(7)->ReportAggregatesOnly();

}  // namespace

BENCHMARK_MAIN();
