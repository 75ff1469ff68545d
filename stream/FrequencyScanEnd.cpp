#include "stream/FrequencyScanEnd.h"

#include "stream/Change.h"
#include "synth/FrequencyScan.h"
#include "synth/FrequencyScanState.h"
#include "synth/SyncCallbacks.h"
#include "synth/WaveformSettings.h"

#include <cmath>

namespace {

void SwitchOutputOff() {
    g_MainOutput = 0;
    if (g_SyncMainFuncCallback != nullptr) {
        g_SyncMainFuncCallback(0);
    }
    _ChangeRequested();
}

} // namespace

// A packet is built only for a running stream, so the readiness the setting calls check holds here.
void _UpdateFreqScanIfRequired() {
    if (!g_bFrequencyScanEnabled) {
        return;
    }
    if (g_SyncFreqCallback != nullptr) {
        g_SyncFreqCallback(g_Frequency);
    }
    const double rounded = std::floor(g_Frequency * 100000.0 + 0.5) / 100000.0;
    if (rounded < g_Ffinal && rounded > g_Fstart) {
        return;
    }
    // The sine scan's own end keeps its settings when they are those of a sine scan (after an ECG-rate
    // scan they are not, and only that scan's end applies).
    if (g_FreqScan1 && _IsValidSineScan(g_Fstart, g_Ffinal, g_Fduration) && g_MainOutput != 0) {
        SwitchOutputOff();
    }
    if (g_FreqScan3) {
        SwitchOutputOff();
    }
}
