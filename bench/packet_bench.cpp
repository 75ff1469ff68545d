// Building one sample packet (1500 samples: synthesis, phase, coding, head bytes, the per-sample change
// test) per output function, as the poll thread does it, with no port open so that nothing is written.
// Goal: at most 50 us per packet (the packet plays for 300 ms: more than 6000 times faster than real time).
#include "stream/PacketStream.h"
#include "core/SessionSync.h"
#include "device/DeviceState.h"
#include "sync/CriticalSection.h"
#include "stream/Change.h"
#include "synth/PlaybackBuffer.h"
#include "synth/SyncCallbacks.h"
#include "synth/SynthesisState.h"
#include "synth/WaveformSettings.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

namespace {

std::vector<double> g_recording; // 10 s at 250 samples/s for function 13

void NoGraph(double, double) {}

// The state a change leaves for the function, with the options that cost the most switched on.
void SetUp(int function, double frequency, bool graph) {
    if (g_recording.empty()) {
        for (int i = 0; i < 2500; ++i) {
            g_recording.push_back(1000.0 * std::sin(i * 0.05));
        }
    }
    g_pECGFile = g_recording.data();
    g_nECGFileSize = static_cast<int>(g_recording.size());
    g_fECGFileFreq = 250.0;
    g_fECGFileMax = 1.0;
    g_bPlayLoop = true;
    g_MainOutput = function;
    g_NextFrequency = frequency;
    g_NextAmplitude = 1.0;
    g_nSpecialWaveform = 3;
    g_nANE20000ChannelNumber = 4;
    g_DynamicRangeTest = function == 2 || function == 3;
    g_MainNoise = function == 7 ? 1 : 0;
    g_NextMainNoiseAmplitude = 0.1;
    g_AAMIDriftTest = function == 7;
    g_GraphCallback = graph ? NoGraph : nullptr;
    Change(); // no port: the derived state only
}

void BM_BuildPacket(benchmark::State& state, int function, double frequency, bool graph) {
    CAutoCriticalSection lock(g_APICriticalSection);
    SetUp(function, frequency, graph);
    // Three seconds into the stream, so that every segment of the slower waveforms is visited; every
    // packet starts there again, so that the run measures the same stretch of output however long it is.
    for (int i = 0; i < 10; ++i) {
        SendNextPacket();
    }
    const double start = g_fOutputTime;
    for (auto _ : state) {
        g_fOutputTime = start;
        SendNextPacket();
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * 1500);
    g_GraphCallback = nullptr;
}

BENCHMARK_CAPTURE(BM_BuildPacket, f01_sine, 1, 10.0, false);
BENCHMARK_CAPTURE(BM_BuildPacket, f01_sine_graph, 1, 10.0, true);
BENCHMARK_CAPTURE(BM_BuildPacket, f02_triangle_dynrange, 2, 10.0, false);
BENCHMARK_CAPTURE(BM_BuildPacket, f03_square_dynrange, 3, 10.0, false);
BENCHMARK_CAPTURE(BM_BuildPacket, f04_pulse, 4, 5.0, false);
BENCHMARK_CAPTURE(BM_BuildPacket, f05_triangular_pulse, 5, 5.0, false);
BENCHMARK_CAPTURE(BM_BuildPacket, f07_ecg2_27_noise_drift, 7, 1.0, false);
BENCHMARK_CAPTURE(BM_BuildPacket, f08_iec227, 8, 1.0, false);
BENCHMARK_CAPTURE(BM_BuildPacket, f09_iec251, 9, 1.0, false);
BENCHMARK_CAPTURE(BM_BuildPacket, f10_ecg_notched_r, 10, 1.0, false);
BENCHMARK_CAPTURE(BM_BuildPacket, f11_ecg_single_r, 11, 1.0, false);
BENCHMARK_CAPTURE(BM_BuildPacket, f12_exponential_pair, 12, 1.0, false);
BENCHMARK_CAPTURE(BM_BuildPacket, f13_playback, 13, 1.0, false);
BENCHMARK_CAPTURE(BM_BuildPacket, f14_staircase, 14, 1.0, false);
BENCHMARK_CAPTURE(BM_BuildPacket, f15_ane20000, 15, 1.0, false);

} // namespace
