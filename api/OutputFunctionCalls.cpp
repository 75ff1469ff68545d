#include "qolt_api.h"
#include "stream/Change.h"
#include "synth/FrequencyScanState.h"
#include "api/SettingChecks.h"
#include "synth/SettingsLock.h"
#include "synth/SynthesisState.h"
#include "synth/WaveformSettings.h"

#include <cmath>

namespace {

// SetFrequency once the instrument is ready; *requested tells whether the change was asked for.
int StoreFrequency(double hz, bool* requested) {
    // Not a frequency at all: refused without the clamp.
    if (!std::isfinite(hz)) {
        return -2;
    }
    const bool scanning = _IsFrequencyScanRunning();
    const bool baselineTest = g_BaseLineOverload != 0;
    const double limit = _FrequencyLimit(g_MainOutput);
    if (hz < 0.05 || hz > limit) {
        // Clamped, yet reported as refused; the bound stored goes out like an accepted frequency. A scan
        // or the baseline-reset test owns the frequency: nothing is stored then.
        if (!scanning && !baselineTest) {
            g_NextFrequency = hz < 0.05 ? 0.05 : limit;
            _ChangeRequested();
            *requested = true;
        }
        return -2;
    }
    if (scanning) {
        return -3;
    }
    if (baselineTest) {
        return -4;
    }
    g_NextFrequency = hz;
    _ChangeRequested();
    *requested = true;
    return 0;
}

} // namespace

int SetOutputFunc(int function) {
    CSettingsLock lock;
    if (_IsNotReady()) {
        return -1;
    }
    // Compared before translation: asking for 6 or 7 again re-applies the exponential pair or playback.
    if (function == g_MainOutput) {
        return 0;
    }
    g_MainOutput = function == 6 ? 12 : function == 7 ? 13 : function;
    if (function != 0) {
        g_fOutputTimeGraph = 0.0;
    }
    if (g_MainOutput == 12 || g_MainOutput == 13) {
        Change();
        return 0;
    }
    // Re-checks the frequency against the new function's limit, which may request the change.
    bool requested = false;
    StoreFrequency(g_NextFrequency, &requested);
    g_fTimePeriod = 1.0 / g_NextFrequency;
    if (!requested) {
        _ChangeRequested();
    }
    return 0;
}

// Under the lock: the poll thread switches the output off at the end of a scan or of a playback.
int GetOutputFunc(void) {
    CSettingsLock lock;
    switch (g_MainOutput) {
    case 12:
        return 6;
    case 13:
        return 7;
    default:
        return g_MainOutput;
    }
}

int SetAmplitude(double amplitude) {
    CSettingsLock lock;
    if (_IsNotReady()) {
        return -1;
    }
    if (!_InRange(amplitude, -2000.0, 2000.0)) {
        return -2;
    }
    if (g_BaseLineOverload != 0) {
        return -3;
    }
    const double next = amplitude / 1000.0;
    if (next == g_NextAmplitude) {
        return 0;
    }
    g_NextAmplitude = next;
    _ChangeRequested();
    return 0;
}

// Under the lock: a change at a cycle boundary, on the poll thread, may limit the stored amplitude.
double GetAmplitude(void) {
    CSettingsLock lock;
    return 1000.0 * g_NextAmplitude;
}

int SetFrequency(double hz) {
    CSettingsLock lock;
    if (_IsNotReady()) {
        return -1;
    }
    bool requested = false;
    return StoreFrequency(hz, &requested);
}

// Under the lock: a frequency scan steps the frequency on the poll thread.
double GetFrequency(void) {
    CSettingsLock lock;
    return g_NextFrequency;
}

int SetPulseWidth(double ms) {
    CSettingsLock lock;
    if (_IsNotReady()) {
        return -1;
    }
    if (!_InRange(ms, 2.0, 300.0)) {
        return -2;
    }
    g_PulseWidth = ms;
    _ChangeRequested();
    return 0;
}

// Under the lock: a change to the exponential pulse pair, on the poll thread, sets the pulse width.
double GetPulseWidth(void) {
    CSettingsLock lock;
    return g_PulseWidth;
}
