// Per-packet cost (1500 samples) of the pacemaker generator and of the frequency-scan step, as the packet
// builder calls them. Goal: under 30 us per packet each, as for the main-function synthesis.
#include "synth/FrequencyScan.h"
#include "synth/FrequencyScanState.h"
#include "synth/PacingPulses.h"
#include "synth/PacingState.h"
#include "synth/SynthesisState.h"
#include "synth/WaveformSettings.h"

#include <benchmark/benchmark.h>

namespace {

constexpr int kPacketSamples = 1500;

// Pulse pairs with overshoot; the packets run on, so pulses, overshoot and quiet stretches all come by.
void BM_PacingPacket(benchmark::State& state) {
    g_PacingAmplitude = state.range(0) != 0 ? 700.0 : 1.0;
    g_PacingDuration = 0.5;
    g_PacingRate = 300;
    g_PacingPulse = 1;
    g_NextOvershootTimeConstant = 10;
    g_fOutputTime = 0.0;
    _SetUpPacing();
    for (auto _ : state) {
        double sum = 0.0;
        for (int i = 0; i < kPacketSamples; ++i) {
            double value = 0.25;
            _GetPacingV4(value);
            sum += value;
            g_fOutputTime += s_PacingShortPulseNeeded ? 0.0001 : 0.0002;
            s_PacingIndicationNeeded = false;
        }
        benchmark::DoNotOptimize(sum);
    }
    state.SetItemsProcessed(state.iterations() * kPacketSamples);
}
BENCHMARK(BM_PacingPacket)->Arg(0)->Arg(1);

void BM_FrequencyScanStepPacket(benchmark::State& state) {
    g_Frequency = 0.5;
    g_fTimePeriod = 2.0;
    g_fOutputTime = 0.0;
    g_fFrequencyScanIncreasement = 149.5 / 30.0 / 5000.0;
    for (auto _ : state) {
        for (int i = 0; i < kPacketSamples; ++i) {
            g_fOutputTime += 0.0002;
            _StepFrequencyScan();
        }
        benchmark::DoNotOptimize(g_fOutputTime);
        if (g_Frequency >= 500.0) {
            g_Frequency = 0.5;
            g_fTimePeriod = 2.0;
        }
    }
    state.SetItemsProcessed(state.iterations() * kPacketSamples);
}
BENCHMARK(BM_FrequencyScanStepPacket);

} // namespace
