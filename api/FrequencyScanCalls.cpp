#include "synth/FrequencyScan.h"

#include "qolt_api.h"
#include "stream/Change.h"
#include "synth/FrequencyScanState.h"
#include "api/SettingChecks.h"
#include "synth/SettingsLock.h"
#include "synth/SyncCallbacks.h"
#include "synth/SynthesisState.h"
#include "synth/WaveformSettings.h"

#include <cmath>

namespace {

constexpr double kSamplesPerSecond = 5000.0;
constexpr double kHighestFrequency = 500.0;
// A scan never steps the frequency below this (the lowest stop a sine scan accepts). A scan whose stop
// lies below its start ends after its first packet; until then, or should the end be held up, the
// period stays finite and positive.
constexpr double kLowestFrequency = 0.01;

constexpr double kSineScanLowestStart = 0.5;
constexpr double kSineScanLowestStop = 0.01;
constexpr int kSineScanShortest = 10; // s
constexpr int kSineScanLongest = 180; // s

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
    if (!_InRange(startFreq, kSineScanLowestStart, kHighestFrequency)) {
        return -2;
    }
    if (!_InRange(stopFreq, kSineScanLowestStop, kHighestFrequency)) {
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
    if (g_Frequency > kHighestFrequency) {
        g_Frequency = kHighestFrequency;
    }
}

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
    if (g_FreqScan1) {
        SetFreqScanSine(false, g_Fstart, g_Ffinal, g_Fduration);
    }
    if (g_FreqScan3) {
        SetFreqScanECG(false);
    }
}
