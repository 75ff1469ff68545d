#include "qolt_api.h"
#include "stream/Change.h"
#include "api/SettingChecks.h"
#include "synth/SettingsLock.h"
#include "synth/WaveformSettings.h"

int SetPacingPulseMode(PacingPulse_E mode) {
    CSettingsLock lock;
    if (_IsNotReady()) {
        return -1;
    }
    g_PacingPulse = static_cast<int>(mode);
    _ChangeRequested();
    return 0;
}

PacingPulse_E GetPacingPulseMode(void) {
    CSettingsLock lock;
    return static_cast<PacingPulse_E>(g_PacingPulse);
}

int SetPacingAmplitude(double amplitude) {
    CSettingsLock lock;
    if (_IsNotReady()) {
        return -1;
    }
    if (!_InRange(amplitude, -700.0, 700.0)) {
        return -2;
    }
    g_PacingAmplitude = amplitude;
    _ChangeRequested();
    return 0;
}

double GetPacingAmplitude(void) {
    CSettingsLock lock;
    return g_PacingAmplitude;
}

int SetPacingDuration(double ms) {
    CSettingsLock lock;
    if (_IsNotReady()) {
        return -1;
    }
    if (!_InRange(ms, 0.1, 3.0)) {
        return -2;
    }
    g_PacingDuration = ms;
    _ChangeRequested();
    return 0;
}

double GetPacingDuration(void) {
    CSettingsLock lock;
    return g_PacingDuration;
}

int SetPacingRate(unsigned int perMinute) {
    CSettingsLock lock;
    if (_IsNotReady()) {
        return -1;
    }
    if (perMinute < 10 || perMinute > 300) {
        return -2;
    }
    g_PacingRate = perMinute;
    _ChangeRequested();
    return 0;
}

unsigned int GetPacingRate(void) {
    CSettingsLock lock;
    return g_PacingRate;
}

int SetOvershootTimeConstant(unsigned int ms) {
    CSettingsLock lock;
    if (_IsNotReady()) {
        return -1;
    }
    if (ms > 100) {
        return -2;
    }
    g_NextOvershootTimeConstant = ms;
    _ChangeRequested();
    return 0;
}

unsigned int GetOvershootTimeConstant(void) {
    CSettingsLock lock;
    return g_NextOvershootTimeConstant;
}

int SetPacingOvershootAmp(double amplitude) {
    CSettingsLock lock;
    if (_IsNotReady()) {
        return -1;
    }
    if (!_InRange(amplitude, -5.0, 5.0)) {
        return -2;
    }
    g_fNextOvershootAmplitude = amplitude;
    _ChangeRequested();
    return 0;
}

double GetPacingOvershootAmp(void) {
    CSettingsLock lock;
    return g_fNextOvershootAmplitude;
}
