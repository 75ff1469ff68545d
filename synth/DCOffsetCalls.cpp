#include "device/DeviceState.h"
#include "qolt_api.h"
#include "synth/Change.h"
#include "synth/OutputRange.h"
#include "synth/SettingChecks.h"
#include "synth/WaveformSettings.h"

int SetDCOffset(int offset) {
    if (_IsNotReady()) {
        return -1;
    }
    const int limit = g_DCVariable ? 1000 : s_bIs300R ? 150 : 300;
    if (offset < -limit || offset > limit) {
        return -2;
    }
    g_DCSetting = offset;
    _ChangeRequested();
    return 0;
}

int GetDCOffset(void) {
    return g_DCSetting;
}

int SetDCOffsetVariableMode(bool on) {
    if (_IsNotReady()) {
        return -1;
    }
    g_DCVariable = on;
    _ChangeRequested();
    return 0;
}

bool GetDCOffsetVariableMode(void) {
    return g_DCVariable;
}

int SetDCOffsetCommonMode(bool on) {
    // Switches a relay at once, so it needs the port itself; a registered listener is not enough.
    if (_IsPortClosed()) {
        return -1;
    }
    g_DCCommon = on;
    _SetRelaysV4();
    return 0;
}

int SetDCOffsetCommoneMode(bool on) {
    return SetDCOffsetCommonMode(on);
}

bool GetDCOffsetCommonMode(void) {
    return g_DCCommon;
}

bool GetDCOffsetCommoneMode(void) {
    return GetDCOffsetCommonMode();
}
