#include "qolt_api.h"
#include "stream/OutputStage.h"
#include "api/SettingChecks.h"
#include "synth/SettingsLock.h"
#include "synth/WaveformSettings.h"

int SetBaselineResetTest(int mode) {
    CSettingsLock lock;
    if (_IsNotReady()) {
        return -1;
    }
    // Only modes 0 to 4 exist; any other would keep the previous frequency under a test that is "on".
    if (mode < 0 || mode > 4) {
        return -2;
    }
    if (mode != 0 && g_MainOutput != 1) {
        return -2;
    }
    g_BaseLineOverload = mode;
    _Baseline1V_CheckedChanged();
    return 0;
}

// Under the lock: the poll thread clears the test when it stops the stream (a scan's or a playback's end).
int GetBaselineResetTest(void) {
    CSettingsLock lock;
    return g_BaseLineOverload;
}
