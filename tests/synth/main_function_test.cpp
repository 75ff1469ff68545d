// Per-sample values of the computed output functions (everything but the stored tables and the
// recording), worked out by hand from the waveform definitions.
#include "synth/ECG2_27Complex.h"
#include "synth/ECGComplex.h"
#include "synth/InputDynamicRange.h"
#include "synth/MainFunctionVoltage.h"
#include "stream/OutputStage.h"
#include "synth/PacingState.h"
#include "synth/SynthesisState.h"
#include "synth/WaveformSettings.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <vector>

namespace {

constexpr double kTol = 1e-6;

// Settings in force for a row of the simple waveforms.
struct Simple {
    const char* what;
    int function;
    double amplitude;  // g_Amplitude
    double period;     // g_fTimePeriod (g_Frequency = 1 / period)
    double pulseWidth; // g_fPulseWidth
    double delay;      // s_PacDelayTP
    double outputTime; // g_fOutputTime
    double t;
    double expected;
};

void Apply(const Simple& r) {
    g_MainOutput = r.function;
    g_Amplitude = r.amplitude;
    g_fTimePeriod = r.period;
    g_Frequency = 1.0 / r.period;
    g_fPulseWidth = r.pulseWidth;
    s_PacDelayTP = r.delay;
    g_fOutputTime = r.outputTime;
}

TEST(MainFunction, SimpleWaveforms) {
    const std::vector<Simple> rows = {
        // Sine: runs on the output time, not the phase.
        {"sine 0", 1, 2.0, 0.1, 0.1, 0.0, 0.0, 0.0, 0.0},
        {"sine crest", 1, 2.0, 0.1, 0.1, 0.0, 0.025, 0.0, 2.0},
        {"sine 45 deg", 1, 2.0, 0.1, 0.1, 0.0, 0.0125, 0.0125, 1.41421356},
        {"sine trough", 1, 2.0, 0.1, 0.1, 0.0, 0.075, 0.075, -2.0},
        // 2*pi is 6.2831853: after 1000 s of 10 Hz the phase lags the exact one by 7.18e-5 rad.
        {"sine literal 2pi", 1, 2.0, 0.1, 0.1, 0.0, 1000.0, 0.0, -1.4359172e-4},
        // Triangle, k = 4A/T = 80.
        {"triangle 0", 2, 2.0, 0.1, 0.1, 0.0, 0.0, 0.0, 0.0},
        {"triangle T/8", 2, 2.0, 0.1, 0.1, 0.0, 0.0, 0.0125, 1.0},
        {"triangle T/4", 2, 2.0, 0.1, 0.1, 0.0, 0.0, 0.025, 2.0},
        {"triangle T/2", 2, 2.0, 0.1, 0.1, 0.0, 0.0, 0.05, 0.0},
        {"triangle 3T/4", 2, 2.0, 0.1, 0.1, 0.0, 0.0, 0.075, -2.0},
        {"triangle 7T/8", 2, 2.0, 0.1, 0.1, 0.0, 0.0, 0.0875, -1.0},
        // Square.
        {"square 0", 3, 2.0, 0.1, 0.1, 0.0, 0.0, 0.0, 2.0},
        {"square before T/2", 3, 2.0, 0.1, 0.1, 0.0, 0.0, 0.0499, 2.0},
        {"square T/2", 3, 2.0, 0.1, 0.1, 0.0, 0.0, 0.05, -2.0},
        {"square end", 3, 2.0, 0.1, 0.1, 0.0, 0.0, 0.0999, -2.0},
        // Pulse with 1 ms edges, width 2 ms.
        {"pulse 0", 4, 2.0, 0.2, 0.002, 0.0, 0.0, 0.0, -2.0},
        {"pulse mid rise", 4, 2.0, 0.2, 0.002, 0.0, 0.0, 0.0005, 0.0},
        {"pulse 1 ms", 4, 2.0, 0.2, 0.002, 0.0, 0.0, 0.001, 2.0},
        {"pulse 1.5 ms", 4, 2.0, 0.2, 0.002, 0.0, 0.0, 0.0015, 2.0},
        {"pulse 2 ms", 4, 2.0, 0.2, 0.002, 0.0, 0.0, 0.002, 2.0},
        {"pulse mid fall", 4, 2.0, 0.2, 0.002, 0.0, 0.0, 0.0025, 0.0},
        {"pulse 3 ms", 4, 2.0, 0.2, 0.002, 0.0, 0.0, 0.003, -2.0},
        {"pulse rest", 4, 2.0, 0.2, 0.002, 0.0, 0.0, 0.15, -2.0},
        {"wide pulse", 4, 2.0, 0.5, 0.3, 0.0, 0.0, 0.2999, 2.0},
        // Triangular pulse, width 100 ms, k = 80; without pacing it starts at 0.
        {"tri pulse 0", 5, 2.0, 0.5, 0.1, 0.0, 0.0, 0.0, -2.0},
        {"tri pulse W/4", 5, 2.0, 0.5, 0.1, 0.0, 0.0, 0.025, 0.0},
        {"tri pulse W/2", 5, 2.0, 0.5, 0.1, 0.0, 0.0, 0.05, 2.0},
        {"tri pulse 3W/4", 5, 2.0, 0.5, 0.1, 0.0, 0.0, 0.075, 0.0},
        {"tri pulse W", 5, 2.0, 0.5, 0.1, 0.0, 0.0, 0.1, -2.0},
        // With pacing on it starts 10 ms later.
        {"paced tri 5 ms", 5, 2.0, 0.5, 0.1, 0.01, 0.0, 0.005, -2.0},
        {"paced tri 10 ms", 5, 2.0, 0.5, 0.1, 0.01, 0.0, 0.01, -2.0},
        {"paced tri W/4", 5, 2.0, 0.5, 0.1, 0.01, 0.0, 0.035, 0.0},
        {"paced tri W/2", 5, 2.0, 0.5, 0.1, 0.01, 0.0, 0.06, 2.0},
        {"paced tri 3W/4", 5, 2.0, 0.5, 0.1, 0.01, 0.0, 0.085, 0.0},
        {"paced tri end", 5, 2.0, 0.5, 0.1, 0.01, 0.0, 0.11, -2.0},
        // Exponential pair, time constant 50 ms, negative half from 0.5 s.
        {"exp 0", 12, 2.0, 1.0, 0.05, 0.0, 0.0, 0.0, 2.0},
        {"exp tau", 12, 2.0, 1.0, 0.05, 0.0, 0.0, 0.05, 0.73575888},
        {"exp before 0.5", 12, 2.0, 1.0, 0.05, 0.0, 0.0, 0.4999, 9.0799e-5},
        {"exp 0.5", 12, 2.0, 1.0, 0.05, 0.0, 0.0, 0.5, -2.0},
        {"exp 0.5 + tau", 12, 2.0, 1.0, 0.05, 0.0, 0.0, 0.55, -0.73575888},
    };
    for (const auto& r : rows) {
        Apply(r);
        EXPECT_NEAR(_GetMainFunctionVoltage(r.t), r.expected, kTol) << r.what;
    }
}

TEST(MainFunction, DynamicRangeSineIsAddedToTriangleAndSquareAndClampedToFive) {
    struct Row {
        const char* what;
        int function;
        double amplitude;
        double outputTime;
        double t;
        double expected;
    };
    // Added sine of 1.0 peak-to-peak at 40 Hz: +0.5 at 1/160 s, -0.5 at 3/160 s.
    const std::vector<Row> rows = {
        {"square +", 3, 2.0, 1.0 / 160.0, 0.0, 2.5},
        {"square -", 3, 2.0, 3.0 / 160.0, 0.06, -2.5},
        {"square clamp top", 3, 4.8, 1.0 / 160.0, 0.0, 5.0},
        {"square clamp bottom", 3, 4.8, 3.0 / 160.0, 0.06, -5.0},
        {"triangle T/4", 2, 2.0, 1.0 / 160.0, 0.025, 2.5},
        {"sine untouched", 1, 2.0, 1.0 / 160.0, 0.0, 2.0 * std::sin(6.2831853 * 10.0 / 160.0)},
    };
    g_DynamicRangeTest = true;
    g_ADynamicRange = 1.0;
    g_FDynamicRange = 40.0;
    for (const auto& r : rows) {
        Apply({r.what, r.function, r.amplitude, 0.1, 0.1, 0.0, r.outputTime, r.t, 0.0});
        EXPECT_NEAR(_GetMainFunctionVoltage(r.t), r.expected, kTol) << r.what;
    }
    g_DynamicRangeTest = false;
    Apply({"square off", 3, 4.8, 0.1, 0.1, 0.0, 1.0 / 160.0, 0.0, 0.0});
    EXPECT_NEAR(_GetMainFunctionVoltage(0.0), 4.8, kTol);
}

TEST(MainFunction, FunctionsWithoutAWaveformGiveZero) {
    for (int f : {0, 6, 16, 17, 100, -1, -12, INT_MIN, INT_MAX}) {
        Apply({"none", f, 2.0, 0.1, 0.1, 0.0, 0.3, 0.03, 0.0});
        for (double t : {0.0, 0.03, 0.0999}) {
            EXPECT_EQ(_GetMainFunctionVoltage(t), 0.0) << f << " " << t;
        }
    }
}

// ECG2_27 complex, QRS 100 ms: 0 to 10 ms, rise to 0.875 A at 53.75 ms, fall to -0.125 A at 103.75 ms,
// back to 0 at 110 ms, T wave 180 ms to 360 ms.
TEST(ECG2_27, SegmentTimesFollowTheQRSDuration) {
    struct Row {
        double qrs;
        double t1, t2, t3, t4, t5;
    };
    for (const Row& r :
         {Row{100.0, 0.05375, 0.10375, 0.11, 0.18, 0.36}, Row{200.0, 0.0975, 0.1975, 0.21, 0.28, 0.46},
          Row{5.0, 0.0121875, 0.0146875, 0.015, 0.085, 0.265}}) {
        g_QRSDuration = r.qrs;
        _ComputeECG2_27SegmentTimes();
        EXPECT_NEAR(s_t1, r.t1, 1e-12) << r.qrs;
        EXPECT_NEAR(s_t2, r.t2, 1e-12) << r.qrs;
        EXPECT_NEAR(s_t3, r.t3, 1e-12) << r.qrs;
        EXPECT_NEAR(s_t4, r.t4, 1e-12) << r.qrs;
        EXPECT_NEAR(s_t5, r.t5, 1e-12) << r.qrs;
    }
}

void SetUpECG2_27(double amplitude, double outputTime) {
    g_MainOutput = 7;
    g_Amplitude = amplitude;
    g_QRSDuration = 100.0;
    g_TWaveAmplitude = 0.2;
    g_fVoltageRange = 5.0;
    g_fOutputTime = outputTime;
    g_fTimePeriod = 1.0;
    _ComputeECG2_27SegmentTimes();
}

TEST(ECG2_27, BaseComplex) {
    struct Row {
        double t;
        double expected;
    };
    SetUpECG2_27(2.0, 0.0);
    for (const Row& r : {Row{0.0, 0.0}, Row{0.0099, 0.0}, Row{0.01, 0.0}, Row{0.031875, 0.875},
                         Row{0.05375, 1.75}, Row{0.07875, 0.75}, Row{0.10375, -0.25}, Row{0.106875, -0.125},
                         Row{0.11, 0.0}, Row{0.15, 0.0}, Row{0.1799, 0.0}, Row{0.18, 0.0}, Row{0.27, 0.2},
                         Row{0.315, 0.2 * std::sin(6.2831853 * 0.135 / 0.36)}, Row{0.36, 0.0}, Row{0.5, 0.0},
                         Row{0.9999, 0.0}}) {
        EXPECT_NEAR(_GetMainFunctionVoltage(r.t), r.expected, kTol) << r.t;
    }
    // The T wave is used as set, without the amplitude.
    g_Amplitude = 4.0;
    g_TWaveAmplitude = 1.1;
    EXPECT_NEAR(_GetMainFunctionVoltage(0.27), 1.1, kTol);
}

TEST(ECG2_27, MainsNoiseAndDrift) {
    struct Row {
        const char* what;
        int noise;
        bool drift;
        double outputTime;
        double t;
        double expected;
    };
    const std::vector<Row> rows = {
        {"50 Hz crest", 1, false, 0.005, 0.5, 0.05},
        {"50 Hz on QRS", 1, false, 0.005, 0.05375, 1.8},
        {"60 Hz crest", 2, false, 1.0 / 240.0, 0.5, 0.05},
        {"other selection is 60 Hz", 7, false, 1.0 / 240.0, 0.5, 0.05},
        {"60 Hz trough", 2, false, 3.0 / 240.0, 0.5, -0.05},
        {"drift rising", 0, true, 1.25, 0.5, 1.0},
        {"drift top", 0, true, 2.5, 0.5, 2.0},
        {"drift falling", 0, true, 5.0, 0.5, 0.0},
        {"drift bottom", 0, true, 7.5, 0.5, -2.0},
        {"drift rising again", 0, true, 8.75, 0.5, -1.0},
        {"drift second period", 0, true, 12.5, 0.5, 2.0},
        {"drift on QRS", 0, true, 1.25, 0.05375, 2.75},
    };
    for (const auto& r : rows) {
        SetUpECG2_27(2.0, r.outputTime);
        g_MainNoise = r.noise;
        g_MainNoiseAmplitude = 0.05;
        g_AAMIDriftTest = r.drift;
        EXPECT_NEAR(_GetMainFunctionVoltage(r.t), r.expected, kTol) << r.what;
    }
}

TEST(ECG2_27, NeverLeavesTheOutputRange) {
    struct Row {
        double range;
        double amplitude;
        double outputTime;
        double t;
        double expected;
    };
    // QRS peak 0.875 A plus the drift's top of 2.0; the trough -0.125 A plus its bottom of -2.0.
    for (const Row& r : {Row{5.0, 5.0, 2.5, 0.05375, 5.0}, Row{4.0, 5.0, 2.5, 0.05375, 4.0},
                         Row{2.0, 5.0, 7.5, 0.10375, -2.0}, Row{5.0, 5.0, 7.5, 0.10375, -2.625}}) {
        SetUpECG2_27(r.amplitude, r.outputTime);
        g_AAMIDriftTest = true;
        g_MainNoise = 1;
        g_MainNoiseAmplitude = 0.0;
        g_fVoltageRange = r.range;
        EXPECT_NEAR(_GetMainFunctionVoltage(r.t), r.expected, kTol) << r.range << " " << r.t;
    }
    // A whole drift period at full amplitude with noise: every sample inside +-range.
    SetUpECG2_27(5.714, 0.0);
    g_AAMIDriftTest = true;
    g_MainNoise = 2;
    g_MainNoiseAmplitude = 0.1;
    g_fVoltageRange = 4.0;
    for (int i = 0; i < 50000; ++i) {
        g_fOutputTime = i * 0.0002;
        const double t = g_fOutputTime - std::trunc(g_fOutputTime);
        const double v = _GetMainFunctionVoltage(t);
        ASSERT_LE(v, 4.0) << i;
        ASSERT_GE(v, -4.0) << i;
    }
}

// ECG complex at 1 Hz with the amplitude setting 1000 (H = 0.5): B = 0.75 s.
void SetUpECGComplex(int function) {
    g_MainOutput = function;
    g_Frequency = 1.0;
    g_fTimePeriod = 1.0;
    g_NextAmplitude = 1.0;
    g_Amplitude = 123.0; // not used: the complex has its own amplitudes
    _ComputeECGComplexParameters();
}

TEST(ECGComplex, ParametersFromFrequencyAndAmplitude) {
    SetUpECGComplex(10);
    struct Row {
        const char* name;
        double value;
        double expected;
    };
    const std::vector<Row> rows = {
        {"tP_End", s_tP_End, 0.099525},
        {"tP_SinBegin", s_tP_SinBegin, 0.012440625},
        {"tP_SinEnd", s_tP_SinEnd, 0.087084375},
        {"P_SinFreq", s_P_SinFreq, 1.5 / 0.07464375},
        {"tQ_Begin", s_tQ_Begin, 0.123975},
        {"tQ_End", s_tQ_End, 0.13995},
        {"tQ_Trough", s_tQ_Trough, 0.1319625},
        {"tQ_ToTrough", s_tQ_ToTrough, 0.0079875},
        {"tQ_FromTrough", s_tQ_FromTrough, 0.0079875},
        {"tR1_Crest", s_tR1_Crest, 0.156},
        {"tR1_ToCrest", s_tR1_ToCrest, 0.01605},
        {"tR2_Crest", s_tR2_Crest, 0.179475},
        {"tR1_Trough", s_tR1_Trough, 0.1677375},
        {"tR1_ToTrough", s_tR1_ToTrough, 0.0117375},
        {"tR2_ToCrest", s_tR2_ToCrest, 0.0117375},
        {"tR_End", s_tR_End, 0.195},
        {"tR2_ToTrough", s_tR2_ToTrough, 0.015525},
        {"tR_ToTrough", s_tR_ToTrough, 0.039},
        {"tT_End", s_tT_End, 0.510975},
        {"tS_End", s_tS_End, 0.351975},
        {"tS_Trough", s_tS_Trough, 0.247325},
        {"tS_ToTrough", s_tS_ToTrough, 0.052325},
        {"tT_SinBegin", s_tT_SinBegin, 0.510975 - 0.159 / 0.908},
        {"T_SinFreq", p_T_SinFreq, 0.5 * 0.908 / 0.159},
        {"P_SinHalfAmp", s_P_SinHalfAmp, 0.0095},
        {"P_SinAmpOffset", s_P_SinAmpOffset, 0.1075},
        {"aQ_Trough", s_aQ_Trough, -0.197},
        {"aR1_Crest", s_aR1_Crest, 0.8025},
        {"aR_Trough", s_aR_Trough, 0.358},
        {"aR2_Crest", s_aR2_Crest, 0.534},
        {"aS_Trough", s_aS_Trough, -0.058},
        {"aT_Trough", s_aT_Trough, -0.204},
        {"R1_Amp", s_R1_Amp, 0.4445},
        {"R2_Amp", s_R2_Amp, 0.176},
    };
    for (const auto& r : rows) {
        EXPECT_NEAR(r.value, r.expected, 1e-9) << r.name;
    }
    // Times scale with 1/f, amplitudes with the setting.
    g_Frequency = 2.0;
    g_NextAmplitude = 0.5;
    _ComputeECGComplexParameters();
    EXPECT_NEAR(s_tR1_Crest, 0.078, 1e-12);
    EXPECT_NEAR(s_aR1_Crest, 0.40125, 1e-12);
}

TEST(ECGComplex, WaveformOfBothVariants) {
    struct Row {
        double t;
        double notched; // function 10
        double single;  // function 11
    };
    const double tQuarterP = 0.012440625 + 0.0497625 / 4.0;
    const double tTMid = 0.510975 - 0.159 / 0.908 / 2.0;
    const std::vector<Row> rows = {
        {0.0, 0.0, 0.0},
        {0.0062203125, 0.05375, 0.05375},     // half-way up to the P offset
        {0.012440625, 0.1075, 0.1075},        // P sine starts at the offset
        {tQuarterP, 0.117, 0.117},            // P sine crest
        {0.0933046875, 0.05375, 0.05375},     // half-way down
        {0.11, 0.0, 0.0},                     // PQ segment
        {0.12796875, -0.0985, -0.0985},       // half-way to the Q trough
        {0.1319625, -0.197, -0.197},          // Q trough
        {0.13995, 0.0, 0.0},                  // Q end
        {0.156, 0.8025, 0.8025},              // R1 crest
        {0.1677375, 0.358, 0.56097837},       // notch / single R falling
        {0.179475, 0.534, 0.31945673},        // R2 crest / single R falling
        {0.195, 0.0, 0.0},                    // R end
        {0.247325, -0.058, -0.058},           // S trough
        {0.3, -0.058, -0.058},                // ST level
        {0.351975, -0.05814393, -0.05814393}, // T segment starts near the S level
        {tTMid, -0.204, -0.204},              // T trough
        {0.510975, 0.0, 0.0},                 // T end
        {0.8, 0.0, 0.0},
    };
    for (int function : {10, 11}) {
        SetUpECGComplex(function);
        for (const auto& r : rows) {
            EXPECT_NEAR(_GetMainFunctionVoltage(r.t), function == 10 ? r.notched : r.single, 1e-6)
                << function << " " << r.t;
        }
    }
}

// Input dynamic-range staircase.
TEST(Staircase, BeforeTwentySecondsStepsAreMinus300AndTheRestZero) {
    g_MainOutput = 14;
    g_fTimePeriod = 1.0;
    _StartInputDynamicRange();
    for (double outputTime : {0.0, 5.0, 19.9}) {
        g_fOutputTime = outputTime;
        s_PacingHighRangeNeeded = false;
        EXPECT_EQ(_GetMainFunctionVoltage(0.0), -300.0) << outputTime;
        EXPECT_TRUE(s_PacingHighRangeNeeded);
        EXPECT_EQ(_GetMainFunctionVoltage(0.5), -300.0) << outputTime;
        EXPECT_EQ(_GetMainFunctionVoltage(0.0002), 0.0) << outputTime;
        EXPECT_FALSE(s_PacingHighRangeNeeded);
        EXPECT_EQ(_GetMainFunctionVoltage(0.4999), 0.0) << outputTime;
    }
    EXPECT_EQ(g_fInputDynamicRangeDC, -300.0);
    EXPECT_EQ(g_fInputDynamicRangeAC, 0.0);
}

TEST(Staircase, AfterTheTestStepsAreMinus300AndTheRestZero) {
    g_MainOutput = 14;
    g_fInputDynamicRangeDC = 12.5;
    g_fInputDynamicRangeAC = 0.3;
    g_fOutputTime = 1220.5;
    EXPECT_EQ(_GetMainFunctionVoltage(0.0), -300.0);
    EXPECT_TRUE(s_PacingHighRangeNeeded);
    EXPECT_EQ(_GetMainFunctionVoltage(0.0002), 0.0);
    EXPECT_FALSE(s_PacingHighRangeNeeded);
    EXPECT_EQ(g_fInputDynamicRangeDC, 12.5);
    EXPECT_EQ(g_fInputDynamicRangeAC, 0.3);
}

TEST(Staircase, StepSamplesRoundToTenthsOfAMillisecond) {
    g_MainOutput = 14;
    g_fOutputTime = 100.0;
    struct Row {
        double t;
        bool step;
    };
    for (const Row& r : {Row{0.0, true}, Row{0.00004, true}, Row{0.00005, false}, Row{0.4999, false},
                         Row{0.49996, true}, Row{0.5, true}, Row{1.0, true}, Row{0.7, false}}) {
        _GetMainFunctionVoltage(r.t);
        EXPECT_EQ(s_PacingHighRangeNeeded, r.step) << r.t;
    }
}

// Plays one cycle of 1 s at 0.2 ms per sample from the given output time; returns the values.
std::vector<double> PlayStaircaseCycle(double fromOutputTime) {
    std::vector<double> v;
    for (int i = 0; i < 5000; ++i) {
        g_fOutputTime = fromOutputTime + i * 0.0002;
        v.push_back(_GetMainFunctionVoltage(i * 0.0002));
    }
    return v;
}

TEST(Staircase, ClimbsWithARampThatRestartsAtEveryStep) {
    struct Row {
        bool firmware55;
        double step;
    };
    for (const Row& r : {Row{false, 0.00025}, Row{true, 0.0002}}) {
        g_MainOutput = 14;
        g_AboveFWVer5_5 = r.firmware55;
        _StartInputDynamicRange();
        const auto v = PlayStaircaseCycle(100.0);
        EXPECT_EQ(v[0], -300.0);
        EXPECT_NEAR(v[1], r.step, 1e-12);
        EXPECT_NEAR(v[2499], 2499 * r.step, 1e-9);
        EXPECT_EQ(v[2500], -299.5);
        EXPECT_NEAR(v[2501], r.step, 1e-12);
        EXPECT_NEAR(v[4999], 2499 * r.step, 1e-9);
        EXPECT_EQ(g_fInputDynamicRangeDC, -299.0);
    }
}

TEST(Staircase, DescendsAfter620Seconds) {
    g_MainOutput = 14;
    g_AboveFWVer5_5 = true;
    g_fInputDynamicRangeDC = 300.0;
    const auto v = PlayStaircaseCycle(700.0);
    EXPECT_EQ(v[0], 300.0);
    EXPECT_NEAR(v[1], -0.0002, 1e-12);
    EXPECT_NEAR(v[2499], -2499 * 0.0002, 1e-9);
    EXPECT_EQ(v[2500], 299.5);
    EXPECT_EQ(g_fInputDynamicRangeDC, 299.0);
}

TEST(Staircase, StartResetsTheState) {
    g_fInputDynamicRangeDC = 17.0;
    g_fInputDynamicRangeAC = 0.4;
    _StartInputDynamicRange();
    EXPECT_EQ(g_fInputDynamicRangeDC, -300.0);
    EXPECT_EQ(g_fInputDynamicRangeAC, 0.0);
}

} // namespace
