// Frequency-scan calls, the per-sample step and the per-packet end test, without an instrument (a
// registered listener makes the calls ready).
#include "pacing/PacingDrive.h"

#include "api/SessionState.h"
#include "device/DeviceState.h"
#include "qolt_api.h"
#include "device/Platform.h"
#include "stream/FrequencyScanEnd.h"
#include "synth/FrequencyScan.h"
#include "synth/FrequencyScanState.h"
#include "synth/MainFunctionVoltage.h"
#include "synth/SyncCallbacks.h"
#include "synth/SynthesisState.h"
#include "synth/WaveformSettings.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

using namespace pacingtest;

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

std::vector<int> g_mainFunctions;
std::vector<double> g_frequencies;

void Listener(bool) {}
void OnMainFunction(int function) {
    g_mainFunctions.push_back(function);
}
void OnFrequency(double hz) {
    g_frequencies.push_back(hz);
}

class FrequencyScan : public ::testing::Test {
protected:
    void SetUp() override {
        g_Callback = &Listener;
        RegisterSyncMainFuncCB(OnMainFunction);
        RegisterSyncFreqCB(OnFrequency);
        g_mainFunctions.clear();
        g_frequencies.clear();
    }
    void TearDown() override { g_Callback = nullptr; }
};

struct Stored {
    double start;
    double stop;
    int duration;
    bool operator==(const Stored& o) const {
        return start == o.start && stop == o.stop && duration == o.duration;
    }
};
Stored StoredScan() {
    return {GetFreqScanSineStartFreq(), GetFreqScanSineStopFreq(), GetFreqScanSineDuration()};
}

// A sine scan as SetFreqScanSine(true, ...) leaves it, without the change that would start a stream.
void Scanning(double start, double stop, int duration) {
    g_Fstart = start;
    g_Ffinal = stop;
    g_Fduration = duration;
    g_FreqScan1 = true;
    g_bFrequencyScanEnabled = true;
    g_Frequency = g_NextFrequency = start;
    g_fFrequencyScanIncreasement = (stop - start) / duration / 5000.0;
    g_MainOutput = 1;
    g_Amplitude = 1.0;
    g_fTimePeriod = 1.0 / start;
    g_fOutputTime = 0.0;
}

TEST_F(FrequencyScan, DefaultsAtLoad) {
    EXPECT_FALSE(GetFreqScanSine());
    EXPECT_FALSE(GetFreqScanECG());
    EXPECT_EQ(StoredScan(), (Stored{0.5, 150.0, 30}));
}

TEST_F(FrequencyScan, ArgumentsAreCheckedInOrderAndARefusalStoresNothing) {
    struct Row {
        double start;
        double stop;
        int duration;
        int code;
    };
    const std::vector<Row> rows = {
        {0.5, 150.0, 10, 0},   {0.5, 150.0, 180, 0},   {0.5, 150.0, 9, -4},     {0.5, 150.0, 181, -4},
        {0.49, 150.0, 30, -2}, {500.0, 150.0, 30, 0},  {500.01, 150.0, 30, -2}, {0.5, 0.01, 30, 0},
        {0.5, 0.009, 30, -3},  {0.5, 500.0, 30, 0},    {0.5, 500.01, 30, -3},   {kNaN, 150.0, 30, -2},
        {kInf, 150.0, 30, -2}, {-kInf, 150.0, 30, -2}, {0.5, kNaN, 30, -3},     {0.5, kInf, 30, -3},
        {0.5, -kInf, 30, -3},  {kNaN, kNaN, 0, -2},    {0.4, 600.0, 0, -2},     {1.0, 600.0, 0, -3},
        {1.0, kNaN, 200, -3},  {1.0, 2.0, -30, -4},
    };
    for (bool enable : {false, true}) {
        for (const Row& r : rows) {
            if (enable && r.code == 0) {
                continue; // would start a scan; see the tests below
            }
            const Stored before = StoredScan();
            const int outputBefore = GetOutputFunc();
            EXPECT_EQ(SetFreqScanSine(enable, r.start, r.stop, r.duration), r.code)
                << enable << " " << r.start << " " << r.stop << " " << r.duration;
            if (r.code != 0) {
                EXPECT_EQ(StoredScan(), before);
                EXPECT_EQ(GetOutputFunc(), outputBefore);
                EXPECT_FALSE(GetFreqScanSine());
            } else {
                EXPECT_EQ(StoredScan(), (Stored{r.start, r.stop, r.duration}));
            }
        }
    }
    // Ending with the output already off stores the values and calls back nothing.
    EXPECT_TRUE(g_mainFunctions.empty());
    EXPECT_EQ(GetOutputFunc(), 0);
}

TEST_F(FrequencyScan, NotReadyRefusesEverything) {
    g_Callback = nullptr;
    ASSERT_FALSE(IsPortOpen());
    EXPECT_EQ(SetFreqScanSine(true, 1.0, 100.0, 20), -1);
    EXPECT_EQ(SetFreqScanSine(true, 0.1, 100.0, 20), -1); // readiness first
    EXPECT_EQ(SetFreqScanECG(true), -1);
    EXPECT_EQ(SetFreqScanECG(false), -1);
    EXPECT_EQ(StoredScan(), (Stored{0.5, 150.0, 30}));
    EXPECT_FALSE(GetFreqScanECG());
    EXPECT_EQ(GetOutputFunc(), 0);
    EXPECT_TRUE(g_mainFunctions.empty());
}

TEST_F(FrequencyScan, StartingASineScanSelectsTheSineAndOwnsTheFrequency) {
    ASSERT_EQ(SetFreqScanSine(true, 0.5, 150.0, 30), 0);
    EXPECT_TRUE(GetFreqScanSine());
    EXPECT_TRUE(GetFreqScanECG());
    EXPECT_EQ(GetOutputFunc(), 1);
    ASSERT_FALSE(g_mainFunctions.empty());
    EXPECT_EQ(g_mainFunctions.front(), 1);
    EXPECT_DOUBLE_EQ(g_fFrequencyScanIncreasement, 149.5 / 30.0 / 5000.0);
    EXPECT_EQ(StoredScan(), (Stored{0.5, 150.0, 30}));
    // The frequency starts at the start frequency (a stream started meanwhile may have stepped it).
    EXPECT_GE(g_Frequency, 0.5);
    EXPECT_LT(g_Frequency, 0.5 + 1500 * g_fFrequencyScanIncreasement + 1e-9);

    const double next = GetFrequency();
    EXPECT_EQ(SetFrequency(20.0), -3);
    EXPECT_EQ(SetFrequency(1000.0), -2);
    EXPECT_EQ(GetFrequency(), next);
}

TEST_F(FrequencyScan, EndingWhileASineRunsSwitchesTheOutputOff) {
    g_MainOutput = 1;
    ASSERT_EQ(SetFreqScanSine(false, 2.0, 20.0, 15), 0);
    EXPECT_EQ(GetOutputFunc(), 0);
    EXPECT_EQ(g_mainFunctions, std::vector<int>{0});
    EXPECT_EQ(StoredScan(), (Stored{2.0, 20.0, 15}));
}

TEST_F(FrequencyScan, EcgScanSweepsTheComplexFromOneTwentiethToHalfAHertz) {
    g_Fduration = 42;
    ASSERT_EQ(SetFreqScanECG(true), 0);
    EXPECT_TRUE(GetFreqScanECG());
    EXPECT_FALSE(GetFreqScanSine());
    EXPECT_EQ(GetOutputFunc(), 7);
    ASSERT_FALSE(g_mainFunctions.empty());
    EXPECT_EQ(g_mainFunctions.front(), 7);
    EXPECT_DOUBLE_EQ(GetFreqScanSineStartFreq(), 0.05);
    EXPECT_DOUBLE_EQ(GetFreqScanSineStopFreq(), 0.5);
    EXPECT_EQ(GetFreqScanSineDuration(), 42);
    EXPECT_NEAR(g_fFrequencyScanIncreasement, 3e-6, 1e-18);

    g_mainFunctions.clear();
    ASSERT_EQ(SetFreqScanECG(false), 0);
    EXPECT_EQ(GetOutputFunc(), 0);
    EXPECT_EQ(g_mainFunctions, std::vector<int>{0});
}

TEST_F(FrequencyScan, ResetRestoresTheSineScanDefaults) {
    ASSERT_EQ(SetFreqScanSine(false, 3.0, 30.0, 60), 0);
    ResetQOLT();
    EXPECT_EQ(StoredScan(), (Stored{0.5, 150.0, 30}));
    ASSERT_EQ(SetFreqScanECG(false), 0);
    g_Fstart = 0.05;
    g_Ffinal = 0.5;
    ResetQOLT();
    EXPECT_EQ(StoredScan(), (Stored{0.5, 150.0, 30}));
}

TEST(FrequencyScanStep, StepsTheFrequencyKeepingThePositionInTheCycle) {
    g_Frequency = 10.0;
    g_NextFrequency = 10.0;
    g_fTimePeriod = 0.1;
    g_fOutputTime = 0.2123; // 2.123 cycles: position 0.123
    g_fFrequencyScanIncreasement = 0.5;
    _StepFrequencyScan();
    EXPECT_DOUBLE_EQ(g_Frequency, 10.5);
    EXPECT_DOUBLE_EQ(g_NextFrequency, 10.5);
    EXPECT_DOUBLE_EQ(g_fTimePeriod, 1.0 / 10.5);
    EXPECT_NEAR(g_fOutputTime / g_fTimePeriod, 0.123, 1e-9);
}

TEST(FrequencyScanStep, NeverAboveFiveHundredHertzNorDownToZero) {
    g_Frequency = 499.99;
    g_fTimePeriod = 1.0 / 499.99;
    g_fOutputTime = 0.0;
    g_fFrequencyScanIncreasement = 0.02;
    _StepFrequencyScan();
    EXPECT_DOUBLE_EQ(g_Frequency, 500.0);
    // The period and the next frequency keep the stepped value.
    EXPECT_DOUBLE_EQ(g_NextFrequency, 500.01);
    EXPECT_DOUBLE_EQ(g_fTimePeriod, 1.0 / 500.01);

    // A falling scan held up at its end: the period stays finite and positive.
    g_Frequency = 0.02;
    g_fTimePeriod = 50.0;
    g_fOutputTime = 10.0;
    g_fFrequencyScanIncreasement = -0.05;
    for (int i = 0; i < 5; ++i) {
        _StepFrequencyScan();
        ASSERT_GT(g_Frequency, 0.0);
        ASSERT_TRUE(std::isfinite(g_fTimePeriod));
        ASSERT_GT(g_fTimePeriod, 0.0);
        ASSERT_GE(g_fOutputTime, 0.0);
        ASSERT_LT(g_fOutputTime, g_fTimePeriod);
    }
    EXPECT_DOUBLE_EQ(g_Frequency, 0.01);
}

TEST(FrequencyScanStep, SineGoesOnWithoutAPhaseJump) {
    // A steep scan (10 Hz per 1500 samples) so that a lost phase would show at once.
    Scanning(5.0, 500.0, 10);
    g_fFrequencyScanIncreasement = 10.0 / 1500.0;
    double previousPhase = -1.0;
    double previousFrequency = 0.0;
    for (int i = 0; i < 80000; ++i) {
        // The sine runs on the output time: its phase in cycles is f * t.
        const double cycles = g_Frequency * g_fOutputTime;
        const double phase = cycles - std::floor(cycles);
        const double value = _GetMainFunctionVoltage(Phase());
        ASSERT_NEAR(value, std::sin(6.2831853 * cycles), 1e-6);
        if (previousPhase >= 0.0) {
            // Each sample advances the phase by the frequency in force times 0.2 ms.
            double advance = phase - previousPhase;
            advance -= std::floor(advance);
            // (Above 500 Hz the period keeps the stepped value while the frequency is held at 500: a
            // drift of 1.3e-5 of a cycle per wrap, no jump.)
            ASSERT_NEAR(advance, previousFrequency * 0.0002, 2e-5) << i;
        }
        previousPhase = phase;
        previousFrequency = g_Frequency;
        g_fOutputTime += 0.0002;
        _StepFrequencyScan();
    }
    EXPECT_DOUBLE_EQ(g_Frequency, 500.0);
}

TEST_F(FrequencyScan, EndTestRunsPerPacketAndReportsTheFrequency) {
    // Not running: nothing reported.
    _UpdateFreqScanIfRequired();
    EXPECT_TRUE(g_frequencies.empty());

    struct Row {
        double frequency;
        bool ends;
    };
    for (const Row& r : std::vector<Row>{{0.5, true},
                                         {0.500004, true}, // rounds to the start
                                         {0.500006, false},
                                         {80.0, false},
                                         {149.99999, false},
                                         {149.999996, true}, // rounds to the stop
                                         {150.0, true},
                                         {151.2, true}}) {
        Scanning(0.5, 150.0, 30);
        g_Frequency = r.frequency;
        g_frequencies.clear();
        g_mainFunctions.clear();
        _UpdateFreqScanIfRequired();
        EXPECT_EQ(g_frequencies, std::vector<double>{r.frequency});
        EXPECT_EQ(GetOutputFunc(), r.ends ? 0 : 1) << r.frequency;
        EXPECT_EQ(g_mainFunctions, r.ends ? std::vector<int>{0} : std::vector<int>{}) << r.frequency;
        EXPECT_EQ(StoredScan(), (Stored{0.5, 150.0, 30}));
    }
}

TEST_F(FrequencyScan, ThirtySecondSweepReachesTheStopAndEnds) {
    Scanning(0.5, 150.0, 30);
    int packets = 0;
    double lastReported = 0.0;
    while (GetOutputFunc() != 0 && packets < 200) {
        Drive(1500, [] { return _GetMainFunctionVoltage(Phase()); });
        g_frequencies.clear();
        _UpdateFreqScanIfRequired();
        ASSERT_EQ(g_frequencies.size(), 1u);
        EXPECT_GT(g_frequencies[0], lastReported);
        lastReported = g_frequencies[0];
        ++packets;
    }
    // 30 s of output is 100 packets of 0.3 s.
    EXPECT_GE(packets, 100);
    EXPECT_LE(packets, 101);
    EXPECT_NEAR(lastReported, 150.0, 0.01);
    EXPECT_EQ(g_mainFunctions, std::vector<int>{0});
}

TEST_F(FrequencyScan, StopAtOrBelowStartEndsAfterTheFirstPacket) {
    struct Row {
        double start;
        double stop;
        int duration;
    };
    for (const Row& r :
         std::vector<Row>{{100.0, 100.0, 30}, {150.0, 0.5, 30}, {500.0, 0.01, 10}, {0.5, 0.01, 10}}) {
        Scanning(r.start, r.stop, r.duration);
        g_mainFunctions.clear();
        Drive(1500, [] { return _GetMainFunctionVoltage(Phase()); });
        EXPECT_GT(g_Frequency, 0.0);
        EXPECT_LE(g_Frequency, r.start);
        _UpdateFreqScanIfRequired();
        EXPECT_EQ(GetOutputFunc(), 0) << r.start << " " << r.stop;
        EXPECT_EQ(g_mainFunctions, std::vector<int>{0});
    }
}

} // namespace
