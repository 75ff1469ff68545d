// One packet's worth (1500 samples at 0.2 ms) of the main-function synthesis, per output function, with
// the options that cost the most switched on. Goal: under 30 us per packet for every function.
#include "synth/CycleParameters.h"
#include "synth/ECG2_27Complex.h"
#include "synth/ECGComplex.h"
#include "synth/InputDynamicRange.h"
#include "synth/MainFunctionVoltage.h"
#include "stream/OutputStage.h"
#include "synth/PlaybackBuffer.h"
#include "synth/SynthesisState.h"
#include "synth/WaveformSettings.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

namespace {

constexpr int kPacketSamples = 1500;
constexpr double kSampleTime = 0.0002;

std::vector<double> g_recording; // 10 s at 250 samples/s for function 13

// The state a change leaves for the function, as the stream would see it.
void SetUp(int function, double frequency, double outputTimeAtStart) {
    g_MainOutput = function;
    g_NextAmplitude = 1.0;
    g_Frequency = frequency;
    g_Amplitude = 2.5 * (function == 7 ? 2.0 : 1.0);
    g_fVoltageRange = 5.0;
    g_PulseWidth = 100.0;
    g_nSpecialWaveform = 3;
    g_nANE20000ChannelNumber = 4;
    g_DynamicRangeTest = function == 2 || function == 3;
    g_MainNoise = function == 7 ? 1 : 0;
    g_NextMainNoiseAmplitude = 0.1;
    g_AAMIDriftTest = function == 7;
    if (g_recording.empty()) {
        for (int i = 0; i < 2500; ++i) {
            g_recording.push_back(1000.0 * std::sin(i * 0.05));
        }
    }
    g_pECGFile = g_recording.data();
    g_nECGFileSize = static_cast<int>(g_recording.size());
    g_fECGFileFreq = 250.0;
    _ComputeTimePeriod();
    _ComputePulseWidth();
    _ComputeMainNoiseAmplitude();
    _ComputeECG2_27SegmentTimes();
    _ComputeECGComplexParameters();
    _StartInputDynamicRange();
    g_fOutputTime = outputTimeAtStart;
}

void BM_MainFunctionPacket(benchmark::State& state, int function, double frequency, double startTime) {
    SetUp(function, frequency, startTime);
    // Output times and phases of one packet, computed as the packet builder does.
    std::vector<double> times(kPacketSamples);
    std::vector<double> phases(kPacketSamples);
    for (int i = 0; i < kPacketSamples; ++i) {
        times[i] = startTime + i * kSampleTime;
        phases[i] = times[i] - g_fTimePeriod * static_cast<int>(times[i] / g_fTimePeriod);
    }
    for (auto _ : state) {
        double sum = 0.0;
        for (int i = 0; i < kPacketSamples; ++i) {
            g_fOutputTime = times[i];
            sum += _GetMainFunctionVoltage(phases[i]);
        }
        benchmark::DoNotOptimize(sum);
    }
    state.SetItemsProcessed(state.iterations() * kPacketSamples);
}

// A packet from the middle of a cycle, so that every segment of the slower waveforms is visited.
BENCHMARK_CAPTURE(BM_MainFunctionPacket, f01_sine, 1, 10.0, 3.0);
BENCHMARK_CAPTURE(BM_MainFunctionPacket, f02_triangle_dynrange, 2, 10.0, 3.0);
BENCHMARK_CAPTURE(BM_MainFunctionPacket, f03_square_dynrange, 3, 10.0, 3.0);
BENCHMARK_CAPTURE(BM_MainFunctionPacket, f04_pulse, 4, 5.0, 3.0);
BENCHMARK_CAPTURE(BM_MainFunctionPacket, f05_triangular_pulse, 5, 5.0, 3.0);
BENCHMARK_CAPTURE(BM_MainFunctionPacket, f07_ecg2_27_noise_drift, 7, 1.0, 3.1);
BENCHMARK_CAPTURE(BM_MainFunctionPacket, f08_iec227, 8, 1.0, 3.0);
BENCHMARK_CAPTURE(BM_MainFunctionPacket, f09_iec251, 9, 1.0, 3.0);
BENCHMARK_CAPTURE(BM_MainFunctionPacket, f10_ecg_notched_r, 10, 1.0, 3.0);
BENCHMARK_CAPTURE(BM_MainFunctionPacket, f11_ecg_single_r, 11, 1.0, 3.2);
BENCHMARK_CAPTURE(BM_MainFunctionPacket, f12_exponential_pair, 12, 1.0, 3.35);
BENCHMARK_CAPTURE(BM_MainFunctionPacket, f13_playback, 13, 1.0, 3.0);
BENCHMARK_CAPTURE(BM_MainFunctionPacket, f14_staircase, 14, 1.0, 100.3);
BENCHMARK_CAPTURE(BM_MainFunctionPacket, f15_ane20000, 15, 1.0, 3.0);

} // namespace
