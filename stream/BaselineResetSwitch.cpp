#include "device/InstrumentCommands.h"
#include "stream/Change.h"
#include "stream/OutputStage.h"
#include "synth/SyncCallbacks.h"
#include "synth/SynthesisState.h"
#include "synth/WaveformSettings.h"

namespace {

// Fixed amplitude of the test's sine.
constexpr double kBaselineResetAmplitude = 2.5;

} // namespace

// Switching on changes frequency and amplitude in place, without restarting the cycle; switching off
// applies the settings again at once.
void _Baseline1V_CheckedChanged() {
    if (g_BaseLineOverload != 0 && g_MainOutput == 1) {
        switch (g_BaseLineOverload) {
        case 1:
            g_NextFrequency = 50.0;
            break;
        case 2:
            g_NextFrequency = 60.0;
            break;
        case 3:
            g_NextFrequency = 80.0;
            break;
        case 4:
            g_NextFrequency = 100.0;
            break;
        default:
            break;
        }
        if (g_SyncFreqCallback != nullptr) {
            g_SyncFreqCallback(g_NextFrequency);
        }
        g_Frequency = g_NextFrequency;
        g_fTimePeriod = 1.0 / g_NextFrequency;
        _UpdateRange(kBaselineResetAmplitude);
        g_Amplitude = kBaselineResetAmplitude;
        _SetRelaysV4();
        SendCommand(kCmdBaselineResetOn);
        // The test drives the offset DAC: an offset sent before is gone.
        _ForgetVariableDCOffset();
    }
    if (g_BaseLineOverload == 0) {
        SendCommand(kCmdDCOffsetOff);
        _ForgetVariableDCOffset();
        Change();
    }
}
