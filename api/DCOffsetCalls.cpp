#include "device/DeviceState.h"
#include "qolt_api.h"
#include "stream/Change.h"
#include "stream/OutputStage.h"
#include "api/SettingChecks.h"
#include "synth/SettingsLock.h"
#include "synth/WaveformSettings.h"

int SetDCOffset(int offset) {
    CSettingsLock lock;
    if (_IsNotReady()) {
        return -1;
    }
    const bool possible = g_DCVariable ? offset >= -1000 && offset <= 1000 : _IsFixedDCOffset(offset);
    if (!possible) {
        return -2;
    }
    g_DCSetting = offset;
    _ChangeRequested();
    return 0;
}

int GetDCOffset(void) {
    CSettingsLock lock;
    return g_DCSetting;
}

int SetDCOffsetVariableMode(bool on) {
    CSettingsLock lock;
    if (_IsNotReady()) {
        return -1;
    }
    g_DCVariable = on;
    // The relays give no other fixed offset: a variable setting they cannot give becomes no offset.
    if (!on && !_IsFixedDCOffset(g_DCSetting)) {
        g_DCSetting = 0;
    }
    _ChangeRequested();
    return 0;
}

bool GetDCOffsetVariableMode(void) {
    CSettingsLock lock;
    return g_DCVariable;
}

int SetDCOffsetCommonMode(bool on) {
    CSettingsLock lock;
    // Switches a relay at once, so it needs the port itself; a registered listener is not enough.
    if (_IsPortClosed()) {
        return -1;
    }
    g_DCCommon = on;
    _SetRelaysV4();
    return 0;
}

int SetDCOffsetCommoneMode(bool on) {
    CSettingsLock lock;
    return SetDCOffsetCommonMode(on);
}

bool GetDCOffsetCommonMode(void) {
    CSettingsLock lock;
    return g_DCCommon;
}

bool GetDCOffsetCommoneMode(void) {
    return GetDCOffsetCommonMode();
}
