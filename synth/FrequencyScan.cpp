#include "synth/FrequencyScan.h"

#include "synth/FrequencyScanState.h"
#include "synth/SynthesisState.h"
#include "synth/WaveformSettings.h"

#include <cmath>

namespace {
// A scan never steps the frequency below this (the lowest stop a sine scan accepts). A scan whose stop
// lies below its start ends after its first packet; until then, or should the end be held up, the
// period stays finite and positive.
constexpr double kLowestFrequency = kSineScanLowestStop;
} // namespace

bool _IsValidSineScan(double start, double stop, int duration) {
    return start >= kSineScanLowestStart && start <= kScanHighestFrequency && stop >= kSineScanLowestStop &&
           stop <= kScanHighestFrequency && duration >= kSineScanShortest && duration <= kSineScanLongest;
}

void _StepFrequencyScan() {
    const double cycles = g_fOutputTime / g_fTimePeriod;
    const double position = cycles - std::trunc(cycles);
    g_Frequency += g_fFrequencyScanIncreasement;
    if (g_Frequency < kLowestFrequency) {
        g_Frequency = kLowestFrequency;
    }
    g_NextFrequency = g_Frequency;
    g_fTimePeriod = 1.0 / g_Frequency;
    g_fOutputTime = g_fTimePeriod * position;
    // The period of this step stays as computed.
    if (g_Frequency > kScanHighestFrequency) {
        g_Frequency = kScanHighestFrequency;
    }
}
