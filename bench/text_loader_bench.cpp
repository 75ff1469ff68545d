// Text and binary loaders on 10-million-sample recordings (written into the temporary directory on first
// use): throughput in file bytes per second.
#include "qolt_api.h"
#include "synth/PlaybackBuffer.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace {

const int kSamples = 10'000'000;

std::string TempPath(const char* name) {
    return (std::filesystem::temp_directory_path() / name).string();
}

// Values as a recorder would write them: a few hundred microvolts with three decimals.
double Sample(int i) {
    return 250.0 * std::sin(i * 0.0123) + 40.0 * std::sin(i * 0.731) - 12.5;
}

const std::string& TextFile() {
    static const std::string path = [] {
        const std::string p = TempPath("qolt-bench-10M.txt");
        std::error_code ec;
        if (std::filesystem::file_size(p, ec) > 50'000'000 && !ec) {
            return p;
        }
        FILE* f = std::fopen(p.c_str(), "wb");
        std::fprintf(f, "256\n%d\n", kSamples);
        for (int i = 0; i < kSamples; ++i) {
            std::fprintf(f, "%.3f\n", Sample(i));
        }
        std::fclose(f);
        return p;
    }();
    return path;
}

const std::string& BinaryFile() {
    static const std::string path = [] {
        const std::string p = TempPath("qolt-bench-10M.bin");
        std::error_code ec;
        if (std::filesystem::file_size(p, ec) == 6 + 2ull * kSamples && !ec) {
            return p;
        }
        FILE* f = std::fopen(p.c_str(), "wb");
        const unsigned char header[6] = {0x01,
                                         0x00,
                                         static_cast<unsigned char>(kSamples >> 24),
                                         static_cast<unsigned char>(kSamples >> 16),
                                         static_cast<unsigned char>(kSamples >> 8),
                                         static_cast<unsigned char>(kSamples)};
        std::fwrite(header, 1, sizeof(header), f);
        for (int i = 0; i < kSamples; ++i) {
            const auto v = static_cast<unsigned short>(static_cast<short>(std::lround(Sample(i))));
            const unsigned char be[2] = {static_cast<unsigned char>(v >> 8), static_cast<unsigned char>(v)};
            std::fwrite(be, 1, 2, f);
        }
        std::fclose(f);
        return p;
    }();
    return path;
}

void Run(benchmark::State& state, const std::string& file, int (*load)(const wchar_t*)) {
    const std::wstring path(file.begin(), file.end());
    const auto bytes = static_cast<int64_t>(std::filesystem::file_size(file));
    for (auto _ : state) {
        if (load(path.c_str()) != kSamples) {
            state.SkipWithError("load failed");
            return;
        }
        benchmark::DoNotOptimize(g_pECGFile);
    }
    state.SetBytesProcessed(state.iterations() * bytes);
    state.SetItemsProcessed(state.iterations() * kSamples);
}

void BM_LoadEEGtxt_10M(benchmark::State& state) {
    Run(state, TextFile(), LoadEEGtxt);
}

void BM_LoadEEGbin_10M(benchmark::State& state) {
    Run(state, BinaryFile(), LoadEEGbin);
}

} // namespace

BENCHMARK(BM_LoadEEGtxt_10M)->Unit(benchmark::kMillisecond)->Repetitions(7)->ReportAggregatesOnly(true);
BENCHMARK(BM_LoadEEGbin_10M)->Unit(benchmark::kMillisecond)->Repetitions(7)->ReportAggregatesOnly(true);
