#include "stream/Change.h"
#include "synth/SettingsLock.h"
#include "synth/SynthesisState.h"
#include "synth/WaveformSettings.h"

void _ChangeRequested() {
    CSettingsLock lock;
    if (s_ECGGoing && g_MainOutput != 0) {
        g_bChangeOnNextCycle = true;
    } else {
        Change();
    }
}
