#include "synth/FrequencyScan.h"

#include "synth/FrequencyScanState.h"
#include "synth/SynthesisState.h"
#include "synth/WaveformSettings.h"

#include <cmath>

void _RestoreFreqScanSineDefaults() {
    // Body arrives with the frequency-scan calls: SetFreqScanSine(false, 0.5, 150.0, 30).
}

void _UpdateFreqScanIfRequired() {
    // Body arrives with the frequency-scan calls: frequency report, end of the scan.
}

void _StepFrequencyScan() {
    const double cycles = g_fOutputTime / g_fTimePeriod;
    const double position = cycles - std::trunc(cycles);
    g_Frequency += g_fFrequencyScanIncreasement;
    g_NextFrequency = g_Frequency;
    g_fTimePeriod = 1.0 / g_Frequency;
    g_fOutputTime = g_fTimePeriod * position;
    // The period of this step stays as computed.
    if (g_Frequency > 500.0) {
        g_Frequency = 500.0;
    }
}
