// LoadEEGedf against EDFlib, side by side: one signal of a 1-hour, 64-signal, 256 Hz EDF+ file (about
// 118 MB, written by EDFlib into the temporary directory on first use), read as physical values.
// EDFlib reads only that signal's bytes of each record; so do we.
#include "playback/EDFFile.h"
#include "qolt_api.h"
#include "synth/PlaybackBuffer.h"

#include <benchmark/benchmark.h>
#include <edflib.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace {

const int kSignals = 64;
const int kRate = 256;
const int kRecords = 3600;
const int kSignal = 17;

std::string BenchFile() {
    const std::string path = (std::filesystem::temp_directory_path() / "qolt-bench-1h-64x256.edf").string();
    std::error_code ec;
    if (std::filesystem::file_size(path, ec) > 100'000'000 && !ec) {
        return path;
    }
    const int h = edfopen_file_writeonly(path.c_str(), EDFLIB_FILETYPE_EDFPLUS, kSignals);
    if (h < 0) {
        std::fprintf(stderr, "cannot write %s\n", path.c_str());
        std::exit(1);
    }
    for (int s = 0; s < kSignals; ++s) {
        edf_set_samplefrequency(h, s, kRate);
        edf_set_physical_maximum(h, s, 3276.7);
        edf_set_physical_minimum(h, s, -3276.8);
        edf_set_digital_maximum(h, s, 32767);
        edf_set_digital_minimum(h, s, -32768);
        edf_set_label(h, s, ("EEG " + std::to_string(s)).c_str());
        edf_set_physical_dimension(h, s, "uV");
    }
    std::vector<short> buf(kRate);
    unsigned x = 12345;
    for (int r = 0; r < kRecords; ++r) {
        for (int s = 0; s < kSignals; ++s) {
            for (short& v : buf) {
                x = x * 1103515245u + 12345u;
                v = static_cast<short>(x >> 16);
            }
            edfwrite_digital_short_samples(h, buf.data());
        }
    }
    edfclose_file(h);
    return path;
}

const std::string& Path() {
    static const std::string path = BenchFile();
    return path;
}

void BM_EDFlib_ReadSignal(benchmark::State& state) {
    const std::string& path = Path();
    for (auto _ : state) {
        edf_hdr_struct hdr;
        if (edfopen_file_readonly(path.c_str(), &hdr, EDFLIB_DO_NOT_READ_ANNOTATIONS) != 0) {
            state.SkipWithError("EDFlib cannot open the file");
            return;
        }
        std::vector<double> values(static_cast<size_t>(hdr.signalparam[kSignal].smp_in_file));
        const int n =
            edfread_physical_samples(hdr.handle, kSignal, static_cast<int>(values.size()), values.data());
        edfclose_file(hdr.handle);
        if (n != kRate * kRecords) {
            state.SkipWithError("EDFlib read too few samples");
            return;
        }
        benchmark::DoNotOptimize(values.data());
    }
    state.SetItemsProcessed(state.iterations() * kRate * kRecords);
}

void BM_LoadEEGedf(benchmark::State& state) {
    const std::wstring path(Path().begin(), Path().end());
    for (auto _ : state) {
        if (LoadEEGedf(path.c_str(), kSignal) != kRate * kRecords) {
            state.SkipWithError("LoadEEGedf failed");
            return;
        }
        benchmark::DoNotOptimize(g_pECGFile);
    }
    state.SetItemsProcessed(state.iterations() * kRate * kRecords);
}

// The reader alone, as single-precision values (the reader's own interface).
void BM_EDFFile_RetrieveFloats(benchmark::State& state) {
    const std::string& path = Path();
    for (auto _ : state) {
        EDFFile edf;
        float* values = nullptr;
        if (!edf.readFile(path.c_str()) ||
            edf.retrieveSignalSampleValues(kSignal, values) != kRate * kRecords) {
            state.SkipWithError("EDFFile failed");
            return;
        }
        benchmark::DoNotOptimize(values);
        std::free(values);
    }
    state.SetItemsProcessed(state.iterations() * kRate * kRecords);
}

} // namespace

BENCHMARK(BM_EDFlib_ReadSignal)->Unit(benchmark::kMillisecond)->Repetitions(15)->ReportAggregatesOnly(true);
BENCHMARK(BM_LoadEEGedf)->Unit(benchmark::kMillisecond)->Repetitions(15)->ReportAggregatesOnly(true);
BENCHMARK(BM_EDFFile_RetrieveFloats)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(15)
    ->ReportAggregatesOnly(true);
