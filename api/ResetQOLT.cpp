#include "qolt_api.h"
#include "api/SettingChecks.h"
#include "synth/FrequencyScanState.h"
#include "synth/SettingsLock.h"

// Through the ordinary calls, in this order: the output goes off first, so that the frequency is checked
// against the limit of no function. Results are not examined. The drift test, the baseline-reset test and
// the overshoot amplitude are left as they are.
void ResetQOLT(void) {
    CSettingsLock lock;
    if (GetOutputFunc() != 0) {
        SetOutputFunc(0);
    }
    if (GetAmplitude() != 100.0) {
        SetAmplitude(100.0);
    }
    if (GetFrequency() != 10.0) {
        SetFrequency(10.0);
    }
    if (GetDCOffset() != 0) {
        SetDCOffset(0);
    }
    if (GetDCOffsetVariableMode()) {
        SetDCOffsetVariableMode(false);
    }
    if (GetDCOffsetCommoneMode()) {
        SetDCOffsetCommoneMode(false);
    }
    if (GetPulseWidth() != 100.0) {
        SetPulseWidth(100.0);
    }
    if (!GetInputImpedanceMode()) {
        SetInputImpedanceMode(true);
    }
    if (GetPacingPulseMode() != PacingPulse_Single) {
        SetPacingPulseMode(PacingPulse_Single);
    }
    if (GetQRSDuration() != 100.0) {
        SetQRSDuration(100.0);
    }
    if (GetTWave() != 0.2) {
        SetTWave(0.2);
    }
    if (GetPacingAmplitude() != 0.0) {
        SetPacingAmplitude(0.0);
    }
    if (GetPacingDuration() != 2.0) {
        SetPacingDuration(2.0);
    }
    if (GetPacingRate() != 60) {
        SetPacingRate(60);
    }
    if (GetOvershootTimeConstant() != 0) {
        SetOvershootTimeConstant(0);
    }
    SetOutputLead(0, true);
    for (int lead = 1; lead <= 8; ++lead) {
        SetOutputLead(lead, false);
    }
    if (GetECG2_27_NoiseAmp() != 0.1 || GetECG2_27_NoiseFreq() != 0) {
        SetECG2_27_Noise(ECG2_27_Noise_Off, 0.1);
    }
    if (GetDynamicRangeTest() || GetDynamicRangeTestAmp() != 1.0 || GetDynamicRangeTestFreq() != 40.0) {
        SetDynamicRangeTest(false, 1.0, 40.0);
    }
    if (g_FreqScan1 || g_Fstart != 0.5 || g_Ffinal != 150.0 || g_Fduration != 30) {
        _RestoreFreqScanSineDefaults();
    }
}
