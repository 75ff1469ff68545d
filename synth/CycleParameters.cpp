#include "synth/CycleParameters.h"

#include "synth/PlaybackBuffer.h"
#include "synth/SynthesisState.h"
#include "synth/WaveformSettings.h"
#include "synth/tables/StandardTables.h"

void _ComputeTimePeriod() {
    g_fTimePeriod = 1.0 / g_Frequency;
    switch (g_MainOutput) {
    case 8:
        if (g_nSpecialWaveform >= 0 && g_nSpecialWaveform < kIEC227WaveCount) {
            g_fTimePeriod = IEC227WL[g_nSpecialWaveform];
        }
        break;
    case 9:
    case 15:
        g_fTimePeriod = 1.0;
        break;
    case 13:
        // Without a recording (or a rate) the output is 0 V; a 1 s cycle keeps the phase arithmetic finite.
        if (g_pECGFile != nullptr && g_nECGFileSize > 0 && g_fECGFileFreq > 0.0) {
            g_fTimePeriod = static_cast<double>(g_nECGFileSize) / g_fECGFileFreq;
        } else {
            g_fTimePeriod = 1.0;
        }
        break;
    default:
        break;
    }
}

void _ComputePulseWidth() {
    g_fPulseWidth = g_PulseWidth / 1000.0;
}

void _ComputeMainNoiseAmplitude() {
    g_MainNoiseAmplitude = 0.5 * g_NextMainNoiseAmplitude;
}
