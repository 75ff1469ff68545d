#include "qolt_api.h"
#include "stream/Change.h"
#include "api/SettingChecks.h"
#include "synth/SettingsLock.h"
#include "synth/WaveformSettings.h"

#include <cmath>

int SetQRSDuration(double ms) {
    CSettingsLock lock;
    if (_IsNotReady()) {
        return -1;
    }
    if (!_InRange(ms, 5.0, 200.0)) {
        return -2;
    }
    g_QRSDuration = ms;
    _ChangeRequested();
    return 0;
}

double GetQRSDuration(void) {
    CSettingsLock lock;
    return g_QRSDuration;
}

int SetTWave(double amplitude) {
    CSettingsLock lock;
    if (_IsNotReady()) {
        return -1;
    }
    if (!_InRange(amplitude, 0.0, 2.5)) {
        return -2;
    }
    g_TWaveAmplitude = amplitude;
    _ChangeRequested();
    return 0;
}

double GetTWave(void) {
    CSettingsLock lock;
    return g_TWaveAmplitude;
}

int SetECG2_27_Noise(ECG2_27_NoiseFreq_E selection, double amplitude) {
    CSettingsLock lock;
    if (_IsNotReady()) {
        return -1;
    }
    const int sel = static_cast<int>(selection);
    if (sel != 0 && g_MainOutput != 7) {
        return -2;
    }
    if (sel != 0 && !_InRange(amplitude, 0.01, 0.2)) {
        return -3;
    }
    // With the noise off any finite amplitude is kept for later; a NaN would reach the output once the
    // noise is switched on.
    if (!std::isfinite(amplitude)) {
        return -3;
    }
    g_MainNoise = sel;
    g_NextMainNoiseAmplitude = amplitude;
    _ChangeRequested();
    return 0;
}

int GetECG2_27_NoiseFreq(void) {
    CSettingsLock lock;
    return g_MainNoise;
}

double GetECG2_27_NoiseAmp(void) {
    CSettingsLock lock;
    return g_NextMainNoiseAmplitude;
}

int SetECG2_27_AAMIDriftTest(bool on) {
    CSettingsLock lock;
    if (_IsNotReady()) {
        return -1;
    }
    g_AAMIDriftTest = on;
    _ChangeRequested();
    return 0;
}

bool GetECG2_27_AAMIDriftTest(void) {
    CSettingsLock lock;
    return g_AAMIDriftTest;
}

int SetDynamicRangeTest(bool on, double amplitude, double hz) {
    CSettingsLock lock;
    if (_IsNotReady()) {
        return -1;
    }
    if (on && g_MainOutput != 2 && g_MainOutput != 3) {
        return -2;
    }
    if (!_InRange(amplitude, 0.0, 5.0)) {
        return -3;
    }
    if (!_InRange(hz, 10.0, 50.0)) {
        return -4;
    }
    g_DynamicRangeTest = on;
    g_ADynamicRange = amplitude;
    g_FDynamicRange = hz;
    _ChangeRequested();
    return 0;
}

bool GetDynamicRangeTest(void) {
    CSettingsLock lock;
    return g_DynamicRangeTest;
}

double GetDynamicRangeTestAmp(void) {
    CSettingsLock lock;
    return g_ADynamicRange;
}

double GetDynamicRangeTestFreq(void) {
    CSettingsLock lock;
    return g_FDynamicRange;
}
