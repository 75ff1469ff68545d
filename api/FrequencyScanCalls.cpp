#include "qolt_api.h"

#include "api/SettingChecks.h"
#include "stream/Change.h"
#include "synth/FrequencyScanState.h"
#include "synth/FrequencyScan.h"
#include "synth/SettingsLock.h"
#include "synth/SyncCallbacks.h"
#include "synth/SynthesisState.h"
#include "synth/WaveformSettings.h"

#include <cmath>

namespace {

constexpr double kSamplesPerSecond = 5000.0;

constexpr double kEcgScanStart = 0.05;
constexpr double kEcgScanStop = 0.5;
constexpr double kEcgScanDuration = 30.0; // s
constexpr int kEcgScanFunction = 7;

constexpr int kSineFunction = 1;

void NotifyMainFunction(int function) {
    if (g_SyncMainFuncCallback != nullptr) {
        g_SyncMainFuncCallback(function);
    }
}

// Starts a scan of `function` from `start` to `stop` over `seconds`: the step per sample, the first
// frequency, and the output reported to the application.
void StartScan(double start, double stop, double seconds, int function) {
    g_bFrequencyScanEnabled = true;
    g_NextFrequency = start;
    g_Frequency = start;
    g_fFrequencyScanIncreasement = (stop - start) / seconds / kSamplesPerSecond;
    g_MainOutput = function;
    NotifyMainFunction(function);
}

} // namespace

int SetFreqScanSine(bool enable, double startFreq, double stopFreq, int duration) {
    CSettingsLock lock;
    if (_IsNotReady()) {
        return -1;
    }
    if (!_InRange(startFreq, kSineScanLowestStart, kScanHighestFrequency)) {
        return -2;
    }
    if (!_InRange(stopFreq, kSineScanLowestStop, kScanHighestFrequency)) {
        return -3;
    }
    if (duration < kSineScanShortest || duration > kSineScanLongest) {
        return -4;
    }
    g_Fstart = startFreq;
    g_Ffinal = stopFreq;
    g_Fduration = duration;
    if (enable) {
        g_FreqScan1 = true;
        StartScan(startFreq, stopFreq, duration, kSineFunction);
        _ChangeRequested();
        return 0;
    }
    if (g_MainOutput == 0) {
        return 0;
    }
    g_MainOutput = 0;
    NotifyMainFunction(0);
    _ChangeRequested();
    return 0;
}

// The getters take the lock too: the poll thread steps and ends a scan while it builds a packet.
bool GetFreqScanSine(void) {
    CSettingsLock lock;
    return g_FreqScan1;
}

double GetFreqScanSineStartFreq(void) {
    CSettingsLock lock;
    return g_Fstart;
}

double GetFreqScanSineStopFreq(void) {
    CSettingsLock lock;
    return g_Ffinal;
}

int GetFreqScanSineDuration(void) {
    CSettingsLock lock;
    return g_Fduration;
}

int SetFreqScanECG(bool enable) {
    CSettingsLock lock;
    if (_IsNotReady()) {
        return -1;
    }
    if (enable) {
        g_FreqScan3 = true;
        g_Fstart = kEcgScanStart;
        g_Ffinal = kEcgScanStop;
        StartScan(kEcgScanStart, kEcgScanStop, kEcgScanDuration, kEcgScanFunction);
    } else {
        g_MainOutput = 0;
        NotifyMainFunction(0);
    }
    _ChangeRequested();
    return 0;
}

bool GetFreqScanECG(void) {
    CSettingsLock lock;
    return g_bFrequencyScanEnabled;
}

void _RestoreFreqScanSineDefaults() {
    SetFreqScanSine(false, 0.5, 150.0, 30);
}
