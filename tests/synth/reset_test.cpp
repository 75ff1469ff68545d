// ResetQOLT: the defaults it restores, what it leaves, and the order of its steps.
#include "api/SessionState.h"
#include "qolt_api.h"
#include "synth/FrequencyScanState.h"
#include "synth/WaveformSettings.h"

#include <gtest/gtest.h>

namespace {

void Listener(bool) {}

void ExpectResetDefaults() {
    EXPECT_EQ(GetOutputFunc(), 0);
    EXPECT_DOUBLE_EQ(GetAmplitude(), 100.0);
    EXPECT_DOUBLE_EQ(GetFrequency(), 10.0);
    EXPECT_EQ(GetDCOffset(), 0);
    EXPECT_FALSE(GetDCOffsetVariableMode());
    EXPECT_DOUBLE_EQ(GetPulseWidth(), 100.0);
    EXPECT_TRUE(GetInputImpedanceMode());
    EXPECT_EQ(GetPacingPulseMode(), PacingPulse_Single);
    EXPECT_DOUBLE_EQ(GetQRSDuration(), 100.0);
    EXPECT_DOUBLE_EQ(GetTWave(), 0.2);
    EXPECT_DOUBLE_EQ(GetPacingAmplitude(), 0.0);
    EXPECT_DOUBLE_EQ(GetPacingDuration(), 2.0);
    EXPECT_EQ(GetPacingRate(), 60u);
    EXPECT_EQ(GetOvershootTimeConstant(), 0u);
    EXPECT_EQ(g_OutputLead, 1u);
    EXPECT_EQ(GetECG2_27_NoiseFreq(), 0);
    EXPECT_DOUBLE_EQ(GetECG2_27_NoiseAmp(), 0.1);
    EXPECT_FALSE(GetDynamicRangeTest());
    EXPECT_DOUBLE_EQ(GetDynamicRangeTestAmp(), 1.0);
    EXPECT_DOUBLE_EQ(GetDynamicRangeTestFreq(), 40.0);
}

TEST(ResetQOLT, RestoresEverySettingItCovers) {
    g_Callback = &Listener;
    // Every covered setting away from its default, set the way an application would.
    g_MainOutput = 7;
    ASSERT_EQ(SetECG2_27_Noise(ECG2_27_Noise_60Hz, 0.15), 0);
    ASSERT_EQ(SetOutputFunc(2), 0);
    ASSERT_EQ(SetDynamicRangeTest(true, 3.0, 15.0), 0);
    ASSERT_EQ(SetAmplitude(-750.0), 0);
    ASSERT_EQ(SetFrequency(77.0), 0);
    ASSERT_EQ(SetDCOffsetVariableMode(true), 0);
    ASSERT_EQ(SetDCOffset(-800), 0);
    ASSERT_EQ(SetPulseWidth(12.0), 0);
    ASSERT_EQ(SetInputImpedanceMode(false), 0);
    ASSERT_EQ(SetPacingPulseMode(PacingPulse_Pair250ms), 0);
    ASSERT_EQ(SetQRSDuration(40.0), 0);
    ASSERT_EQ(SetTWave(1.5), 0);
    ASSERT_EQ(SetPacingAmplitude(-300.0), 0);
    ASSERT_EQ(SetPacingDuration(0.5), 0);
    ASSERT_EQ(SetPacingRate(200), 0);
    ASSERT_EQ(SetOvershootTimeConstant(30), 0);
    ASSERT_EQ(SetOutputLead(0, false), 0);
    for (int lead = 1; lead <= 8; ++lead) {
        ASSERT_EQ(SetOutputLead(lead, true), 0);
    }
    ResetQOLT();
    ExpectResetDefaults();
}

TEST(ResetQOLT, LeavesDriftBaselineTestAndOvershootAmplitude) {
    g_Callback = &Listener;
    ASSERT_EQ(SetECG2_27_AAMIDriftTest(true), 0);
    ASSERT_EQ(SetPacingOvershootAmp(-3.0), 0);
    ASSERT_EQ(SetOutputFunc(1), 0);
    ASSERT_EQ(SetBaselineResetTest(3), 0);
    ResetQOLT();
    EXPECT_TRUE(GetECG2_27_AAMIDriftTest());
    EXPECT_DOUBLE_EQ(GetPacingOvershootAmp(), -3.0);
    EXPECT_EQ(GetBaselineResetTest(), 3);
}

TEST(ResetQOLT, SwitchesTheOutputOffBeforeRestoringTheFrequency) {
    // Under the pulse (limit 5 Hz) a 10 Hz request would be clamped; the output goes off first.
    g_Callback = &Listener;
    ASSERT_EQ(SetFrequency(2.0), 0);
    ASSERT_EQ(SetOutputFunc(4), 0);
    ASSERT_EQ(GetFrequency(), 2.0);
    ResetQOLT();
    EXPECT_EQ(GetOutputFunc(), 0);
    EXPECT_DOUBLE_EQ(GetFrequency(), 10.0);
}

TEST(ResetQOLT, RestoresTheFrequencyBeforeTheScan) {
    // A running scan owns the frequency: the frequency step comes before the scan is switched off, so
    // it is refused and the scan's frequency stays.
    g_Callback = &Listener;
    g_MainOutput = 1;
    g_bFrequencyScanEnabled = g_FreqScan1 = true;
    g_NextFrequency = 42.5;
    ResetQOLT();
    EXPECT_DOUBLE_EQ(GetFrequency(), 42.5);
    EXPECT_EQ(GetOutputFunc(), 0);
}

TEST(ResetQOLT, DoesNothingWhileNotReady) {
    ASSERT_EQ(g_Callback, nullptr);
    g_MainOutput = 3;
    g_NextAmplitude = 0.5;
    g_OutputLead = 0x1F0;
    g_DCCommon = true;
    g_NextMainNoiseAmplitude = 0.2;
    ResetQOLT();
    EXPECT_EQ(GetOutputFunc(), 3);
    EXPECT_DOUBLE_EQ(GetAmplitude(), 500.0);
    EXPECT_EQ(g_OutputLead, 0x1F0u);
    EXPECT_TRUE(GetDCOffsetCommonMode());
    EXPECT_DOUBLE_EQ(GetECG2_27_NoiseAmp(), 0.2);
}

TEST(ResetQOLT, CommonModeNeedsAnOpenPort) {
    // Only the listener is registered: everything else is restored, the common mode stays.
    g_Callback = &Listener;
    g_DCCommon = true;
    g_PulseWidth = 20.0;
    ResetQOLT();
    EXPECT_TRUE(GetDCOffsetCommonMode());
    EXPECT_DOUBLE_EQ(GetPulseWidth(), 100.0);
}

} // namespace
