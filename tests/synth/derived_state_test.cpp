// Derived state: values in force at load and the computations the change step makes from the settings.
#include "synth/CycleParameters.h"
#include "synth/ECG2_27Complex.h"
#include "synth/ECGComplex.h"
#include "synth/InputDynamicRange.h"
#include "synth/MainFunctionVoltage.h"
#include "stream/OutputStage.h"
#include "synth/PacingState.h"
#include "synth/PlaybackBuffer.h"
#include "synth/SynthesisState.h"
#include "synth/WaveformSettings.h"
#include "synth/tables/StandardTables.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace {

TEST(AtLoad, DerivedStateMatchesTheDefaultSettings) {
    EXPECT_DOUBLE_EQ(g_fTimePeriod, 0.1);
    EXPECT_DOUBLE_EQ(g_fPulseWidth, 0.1);
    EXPECT_DOUBLE_EQ(g_fOutputTime, 0.0);
    EXPECT_DOUBLE_EQ(g_fVoltageRange, 5.0);
    EXPECT_DOUBLE_EQ(g_RangeV4Ch2Off, 5.0);
    EXPECT_DOUBLE_EQ(g_RangeV4Ch2On, 4.0);
    EXPECT_DOUBLE_EQ(s_PacDelayTP, 0.0);
    EXPECT_FALSE(s_ECGGoing);
    EXPECT_FALSE(g_bChangeOnNextCycle);
    EXPECT_NEAR(s_t1, 0.05375, 1e-12);
    EXPECT_NEAR(s_t5, 0.36, 1e-12);
    EXPECT_EQ(g_fInputDynamicRangeDC, -300.0);
    EXPECT_EQ(g_fInputDynamicRangeAC, 0.0);
    // ECG complex of 10 Hz and setting 100: B = 0.075 s, H = 0.05.
    EXPECT_NEAR(s_tR1_Crest, 0.2080 * 0.075, 1e-12);
    EXPECT_NEAR(s_aR1_Crest, 1.605 * 0.05, 1e-12);
}

TEST(AtLoad, EveryFunctionIsFiniteBeforeTheFirstChange) {
    // A function switched on before any change runs with the derived state of load time.
    g_Amplitude = 1.0;
    for (int f = -1; f <= 16; ++f) {
        g_MainOutput = f;
        for (int i = 0; i < 500; ++i) {
            g_fOutputTime = i * 0.0002;
            const double t = std::fmod(g_fOutputTime, g_fTimePeriod);
            const double v = _GetMainFunctionVoltage(t);
            ASSERT_TRUE(std::isfinite(v)) << "function " << f << " t " << t;
        }
    }
}

TEST(CycleLength, FollowsTheFrequencyOrTheStoredWaveform) {
    static double samples[3] = {1.0, 2.0, 3.0};
    struct Row {
        const char* what;
        int function;
        int wave;
        double* buffer;
        int size;
        double rate;
        double expected;
    };
    const std::vector<Row> rows = {
        {"sine", 1, 0, nullptr, 0, 0.0, 0.25},
        {"off", 0, 0, nullptr, 0, 0.0, 0.25},
        {"IEC227 w3", 8, 3, nullptr, 0, 0.0, IEC227WL[3]},
        {"IEC227 w9", 8, 9, nullptr, 0, 0.0, IEC227WL[9]},
        {"IEC227 foreign index", 8, 12, nullptr, 0, 0.0, 0.25},
        {"IEC251", 9, 15, nullptr, 0, 0.0, 1.0},
        {"ANE20000", 15, 0, nullptr, 0, 0.0, 1.0},
        {"recording", 13, 0, samples, 3, 250.0, 0.012},
        {"recording at 2.5 Hz", 13, 0, samples, 3, 2.5, 1.2},
        {"no recording", 13, 0, nullptr, 0, 250.0, 1.0},
        {"recording without rate", 13, 0, samples, 3, 0.0, 1.0},
        {"recording of no samples", 13, 0, samples, 0, 250.0, 1.0},
    };
    for (const auto& r : rows) {
        g_Frequency = 4.0;
        g_MainOutput = r.function;
        g_nSpecialWaveform = r.wave;
        g_pECGFile = r.buffer;
        g_nECGFileSize = r.size;
        g_fECGFileFreq = r.rate;
        _ComputeTimePeriod();
        EXPECT_DOUBLE_EQ(g_fTimePeriod, r.expected) << r.what;
    }
    g_pECGFile = nullptr;
    g_nECGFileSize = 0;
}

TEST(CycleParameters, PulseWidthAndNoiseAmplitudeInForce) {
    g_PulseWidth = 2.0;
    _ComputePulseWidth();
    EXPECT_DOUBLE_EQ(g_fPulseWidth, 0.002);
    g_PulseWidth = 300.0;
    _ComputePulseWidth();
    EXPECT_DOUBLE_EQ(g_fPulseWidth, 0.3);

    g_NextMainNoiseAmplitude = 0.15;
    _ComputeMainNoiseAmplitude();
    EXPECT_DOUBLE_EQ(g_MainNoiseAmplitude, 0.075);
}

} // namespace
