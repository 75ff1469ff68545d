// Setting calls and getters: defaults, range checks (both bounds, NaN, infinity), the not-ready rule and
// the special cases of the output function, frequency, leads and stored waveforms.
#include "api/SessionState.h"
#include "core/InstrumentFacts.h"
#include "device/DeviceState.h"
#include "qolt_api.h"
#include "synth/FrequencyScanState.h"
#include "synth/SyncCallbacks.h"
#include "synth/SynthesisState.h"
#include "synth/WaveformSettings.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <fcntl.h>
#include <functional>
#include <limits>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

void Listener(bool) {}

// A registered listener makes the setting calls ready without an instrument.
void MakeReady() {
    g_Callback = &Listener;
}

// An open descriptor stands in for the instrument port: only the port test reads it.
class OpenPort {
public:
    OpenPort() : fd_(open("/dev/null", O_WRONLY)) { g_hDevice = fd_; }
    ~OpenPort() {
        g_hDevice = -1;
        close(fd_);
    }
    OpenPort(const OpenPort&) = delete;
    OpenPort& operator=(const OpenPort&) = delete;

private:
    int fd_;
};

// Everything the getters report, to show that a refused call changed nothing.
std::vector<double> AllSettings() {
    std::vector<double> s = {
        double(GetOutputFunc()),
        GetAmplitude(),
        GetFrequency(),
        double(GetDCOffset()),
        double(GetDCOffsetVariableMode()),
        GetPulseWidth(),
        double(GetInputImpedanceMode()),
        double(GetBaselineResetTest()),
        double(GetSpecialWave227()),
        double(GetANE20000Lead()),
        double(GetDCOffsetCommonMode()),
        double(GetPacingPulseMode()),
        GetQRSDuration(),
        GetTWave(),
        GetPacingAmplitude(),
        GetPacingDuration(),
        double(GetPacingRate()),
        double(GetOvershootTimeConstant()),
        GetPacingOvershootAmp(),
        double(GetECG2_27_NoiseFreq()),
        GetECG2_27_NoiseAmp(),
        double(GetECG2_27_AAMIDriftTest()),
        double(GetDynamicRangeTest()),
        GetDynamicRangeTestAmp(),
        GetDynamicRangeTestFreq(),
        double(g_OutputLead),
    };
    return s;
}

TEST(SettingDefaults, GettersReportTheLoadDefaults) {
    EXPECT_EQ(GetOutputFunc(), 0);
    EXPECT_DOUBLE_EQ(GetAmplitude(), 100.0);
    EXPECT_DOUBLE_EQ(GetFrequency(), 10.0);
    EXPECT_EQ(GetDCOffset(), 0);
    EXPECT_FALSE(GetDCOffsetVariableMode());
    EXPECT_FALSE(GetDCOffsetCommonMode());
    EXPECT_DOUBLE_EQ(GetPulseWidth(), 100.0);
    EXPECT_TRUE(GetInputImpedanceMode());
    EXPECT_TRUE(GetOutputLead(0));
    for (int lead = 1; lead <= 8; ++lead) {
        EXPECT_FALSE(GetOutputLead(lead)) << lead;
    }
    EXPECT_EQ(GetBaselineResetTest(), 0);
    EXPECT_EQ(GetSpecialWave227(), 0);
    EXPECT_EQ(GetANE20000Lead(), 0);
    EXPECT_EQ(GetPacingPulseMode(), PacingPulse_Single);
    EXPECT_DOUBLE_EQ(GetQRSDuration(), 100.0);
    EXPECT_DOUBLE_EQ(GetTWave(), 0.2);
    EXPECT_DOUBLE_EQ(GetPacingAmplitude(), 0.0);
    EXPECT_DOUBLE_EQ(GetPacingDuration(), 2.0);
    EXPECT_EQ(GetPacingRate(), 60u);
    EXPECT_EQ(GetOvershootTimeConstant(), 0u);
    EXPECT_DOUBLE_EQ(GetPacingOvershootAmp(), 0.0);
    EXPECT_EQ(GetECG2_27_NoiseFreq(), 0);
    EXPECT_DOUBLE_EQ(GetECG2_27_NoiseAmp(), 0.1);
    EXPECT_FALSE(GetECG2_27_AAMIDriftTest());
    EXPECT_FALSE(GetDynamicRangeTest());
    EXPECT_DOUBLE_EQ(GetDynamicRangeTestAmp(), 1.0);
    EXPECT_DOUBLE_EQ(GetDynamicRangeTestFreq(), 40.0);
    // Values in force before the first change: the amplitude is set by it, the rest match the settings.
    EXPECT_DOUBLE_EQ(g_Amplitude, 0.0);
    EXPECT_DOUBLE_EQ(g_Frequency, 10.0);
    EXPECT_DOUBLE_EQ(g_MainNoiseAmplitude, 0.0);
    EXPECT_DOUBLE_EQ(g_OvershootTimeConstant, 0.0);
    EXPECT_DOUBLE_EQ(g_fOvershootAmplitude, 0.0);
    EXPECT_FALSE(g_FreqScan1 || g_FreqScan3 || g_bFrequencyScanEnabled);
    EXPECT_DOUBLE_EQ(g_Fstart, 0.5);
    EXPECT_DOUBLE_EQ(g_Ffinal, 150.0);
    EXPECT_EQ(g_Fduration, 30);
    EXPECT_EQ(g_GraphCallback, nullptr);
    EXPECT_EQ(g_PacingGraphCallback, nullptr);
    EXPECT_EQ(g_SyncFreqCallback, nullptr);
    EXPECT_EQ(g_SyncMainFuncCallback, nullptr);
}

// One call of each kind that would change a setting if it were accepted.
struct GuardedCall {
    const char* name;
    std::function<int()> call;
};

std::vector<GuardedCall> ReadinessCheckedCalls() {
    return {
        {"SetOutputFunc", [] { return SetOutputFunc(3); }},
        {"SetAmplitude", [] { return SetAmplitude(250.0); }},
        {"SetFrequency", [] { return SetFrequency(20.0); }},
        {"SetDCOffset", [] { return SetDCOffset(-300); }},
        {"SetDCOffsetVariableMode", [] { return SetDCOffsetVariableMode(true); }},
        {"SetOutputLead", [] { return SetOutputLead(4, true); }},
        {"SetPulseWidth", [] { return SetPulseWidth(50.0); }},
        {"SetInputImpedanceMode", [] { return SetInputImpedanceMode(false); }},
        {"SetBaselineResetTest", [] { return SetBaselineResetTest(0); }},
        {"SetPacingPulseMode", [] { return SetPacingPulseMode(PacingPulse_Pair150ms); }},
        {"SetQRSDuration", [] { return SetQRSDuration(150.0); }},
        {"SetTWave", [] { return SetTWave(1.0); }},
        {"SetPacingAmplitude", [] { return SetPacingAmplitude(2.0); }},
        {"SetPacingDuration", [] { return SetPacingDuration(1.0); }},
        {"SetPacingRate", [] { return SetPacingRate(120); }},
        {"SetOvershootTimeConstant", [] { return SetOvershootTimeConstant(50); }},
        {"SetPacingOvershootAmp", [] { return SetPacingOvershootAmp(-1.0); }},
        {"SetECG2_27_Noise", [] { return SetECG2_27_Noise(ECG2_27_Noise_Off, 0.15); }},
        {"SetECG2_27_AAMIDriftTest", [] { return SetECG2_27_AAMIDriftTest(true); }},
        {"SetDynamicRangeTest", [] { return SetDynamicRangeTest(false, 2.0, 20.0); }},
    };
}

TEST(NotReady, EveryCheckedCallReturnsMinusOneAndChangesNothing) {
    ASSERT_EQ(g_hDevice, -1);
    ASSERT_EQ(g_Callback, nullptr);
    for (const auto& c : ReadinessCheckedCalls()) {
        const auto before = AllSettings();
        EXPECT_EQ(c.call(), -1) << c.name;
        EXPECT_EQ(AllSettings(), before) << c.name;
    }
    const auto before = AllSettings();
    EXPECT_EQ(SetDCOffsetCommonMode(true), -1);
    EXPECT_EQ(SetDCOffsetCommoneMode(true), -1);
    EXPECT_EQ(AllSettings(), before);
}

TEST(NotReady, RegisteredListenerOrOpenPortMakesTheCallsReady) {
    for (int variant = 0; variant < 2; ++variant) {
        for (const auto& c : ReadinessCheckedCalls()) {
            g_Callback = variant == 0 ? &Listener : nullptr;
            OpenPort port;
            if (variant == 0) {
                g_hDevice = -1; // listener only
            }
            const auto before = AllSettings();
            EXPECT_EQ(c.call(), 0) << c.name << " variant " << variant;
            if (std::string(c.name) != "SetBaselineResetTest") { // 0 is already the stored mode
                EXPECT_NE(AllSettings(), before) << c.name << " variant " << variant;
            }
            ResetQOLT();
            g_fNextOvershootAmplitude = 0.0; // the reset leaves these two
            g_AAMIDriftTest = false;
        }
    }
}

TEST(NotReady, CommonModeNeedsThePortItself) {
    MakeReady();
    EXPECT_EQ(SetDCOffsetCommonMode(true), -1);
    EXPECT_FALSE(GetDCOffsetCommonMode());
    OpenPort port;
    g_Callback = nullptr;
    EXPECT_EQ(SetDCOffsetCommonMode(true), 0);
    EXPECT_TRUE(GetDCOffsetCommonMode());
    EXPECT_TRUE(GetDCOffsetCommoneMode());
    EXPECT_EQ(SetDCOffsetCommoneMode(false), 0);
    EXPECT_FALSE(GetDCOffsetCommonMode());
    EXPECT_FALSE(GetDCOffsetCommoneMode());
}

TEST(NotReady, StoredWaveformCallsAndRegistrationsNeedNoInstrument) {
    EXPECT_EQ(SetSpecialWave227(SpecialWave227_4), 0);
    EXPECT_EQ(g_MainOutput, 8);
    EXPECT_EQ(GetSpecialWave227(), 4);
    EXPECT_EQ(SetSpecialWave251(SpecialWave251_13), 0);
    EXPECT_EQ(g_MainOutput, 9);
    EXPECT_EQ(GetSpecialWave251(), 13);
    EXPECT_EQ(SetANE20000Lead(7), 0);
    EXPECT_EQ(g_MainOutput, 15);
    EXPECT_EQ(GetANE20000Lead(), 7);

    auto graph = [](double, double) {};
    auto freq = [](double) {};
    auto func = [](int) {};
    RegisterTimeAmpCB(graph);
    RegisterPacingTimeAmpCB(graph);
    RegisterSyncFreqCB(freq);
    RegisterSyncMainFuncCB(func);
    EXPECT_EQ(g_GraphCallback, static_cast<QoltTimeAmpCB>(graph));
    EXPECT_EQ(g_PacingGraphCallback, static_cast<QoltTimeAmpCB>(graph));
    EXPECT_EQ(g_SyncFreqCallback, static_cast<QoltSyncFreqCB>(freq));
    EXPECT_EQ(g_SyncMainFuncCallback, static_cast<QoltSyncMainFuncCB>(func));
    RegisterTimeAmpCB(nullptr);
    EXPECT_EQ(g_GraphCallback, nullptr);
}

// A double-valued setting with an inclusive range: both bounds accepted, anything past them, NaN and
// infinities refused with the call's code, the stored value untouched.
struct RangeCase {
    const char* name;
    std::function<int(double)> set;
    std::function<double()> get;
    double lo;
    double hi;
    double step; // a distance just past a bound
    int code;
};

TEST(RangeChecks, BoundsAreInclusiveAndEverythingElseIsRefused) {
    const std::vector<RangeCase> cases = {
        {"SetAmplitude", [](double v) { return SetAmplitude(v); }, [] { return GetAmplitude(); }, -2000.0,
         2000.0, 0.5, -2},
        {"SetPulseWidth", [](double v) { return SetPulseWidth(v); }, [] { return GetPulseWidth(); }, 2.0,
         300.0, 0.01, -2},
        {"SetQRSDuration", [](double v) { return SetQRSDuration(v); }, [] { return GetQRSDuration(); }, 5.0,
         200.0, 0.01, -2},
        {"SetTWave", [](double v) { return SetTWave(v); }, [] { return GetTWave(); }, 0.0, 2.5, 0.001, -2},
        {"SetPacingAmplitude", [](double v) { return SetPacingAmplitude(v); },
         [] { return GetPacingAmplitude(); }, -700.0, 700.0, 0.01, -2},
        {"SetPacingDuration", [](double v) { return SetPacingDuration(v); },
         [] { return GetPacingDuration(); }, 0.1, 3.0, 0.001, -2},
        {"SetPacingOvershootAmp", [](double v) { return SetPacingOvershootAmp(v); },
         [] { return GetPacingOvershootAmp(); }, -5.0, 5.0, 0.001, -2},
        {"SetDynamicRangeTest amplitude", [](double v) { return SetDynamicRangeTest(false, v, 40.0); },
         [] { return GetDynamicRangeTestAmp(); }, 0.0, 5.0, 0.001, -3},
        {"SetDynamicRangeTest frequency", [](double v) { return SetDynamicRangeTest(false, 1.0, v); },
         [] { return GetDynamicRangeTestFreq(); }, 10.0, 50.0, 0.001, -4},
        {"SetECG2_27_Noise amplitude", [](double v) { return SetECG2_27_Noise(ECG2_27_Noise_50Hz, v); },
         [] { return GetECG2_27_NoiseAmp(); }, 0.01, 0.2, 0.0001, -3},
    };
    MakeReady();
    for (const auto& c : cases) {
        // The noise needs the ECG2_27 complex; the others run with the output off, where no change limits
        // the amplitude setting (the complex's peak limit would).
        g_MainOutput = std::string(c.name).rfind("SetECG2_27", 0) == 0 ? 7 : 0;
        EXPECT_EQ(c.set(c.lo), 0) << c.name;
        EXPECT_DOUBLE_EQ(c.get(), c.lo) << c.name;
        EXPECT_EQ(c.set(c.hi), 0) << c.name;
        EXPECT_DOUBLE_EQ(c.get(), c.hi) << c.name;
        for (double bad : {c.lo - c.step, c.hi + c.step, kNaN, kInf, -kInf}) {
            EXPECT_EQ(c.set(bad), c.code) << c.name << " " << bad;
            EXPECT_DOUBLE_EQ(c.get(), c.hi) << c.name << " " << bad;
        }
    }
}

TEST(RangeChecks, IntegerSettings) {
    MakeReady();
    EXPECT_EQ(SetPacingRate(9), -2);
    EXPECT_EQ(SetPacingRate(301), -2);
    EXPECT_EQ(GetPacingRate(), 60u);
    EXPECT_EQ(SetPacingRate(10), 0);
    EXPECT_EQ(GetPacingRate(), 10u);
    EXPECT_EQ(SetPacingRate(300), 0);
    EXPECT_EQ(GetPacingRate(), 300u);

    EXPECT_EQ(SetOvershootTimeConstant(100), 0);
    EXPECT_EQ(GetOvershootTimeConstant(), 100u);
    EXPECT_EQ(SetOvershootTimeConstant(101), -2);
    EXPECT_EQ(SetOvershootTimeConstant(UINT_MAX), -2);
    EXPECT_EQ(GetOvershootTimeConstant(), 100u);
    EXPECT_EQ(SetOvershootTimeConstant(0), 0);
    EXPECT_EQ(GetOvershootTimeConstant(), 0u);
    EXPECT_DOUBLE_EQ(g_OvershootTimeConstant, 0.0); // the value in force waits for the change
}

TEST(RangeChecks, DCOffsetsTheModeAndModelCanGive) {
    // The fixed offset exists as 0 and the full size either way (300, 150 on the 300R model); the
    // variable one anywhere in -1000..1000.
    struct Row {
        bool variable;
        bool model300R;
        int offset;
        int rc;
    };
    MakeReady();
    for (const Row& r : {
             Row{false, false, 0, 0},        Row{false, false, 300, 0},     Row{false, false, -300, 0},
             Row{false, false, 100, -2},     Row{false, false, -1, -2},     Row{false, false, 150, -2},
             Row{false, false, 299, -2},     Row{false, false, 301, -2},    Row{false, false, INT_MAX, -2},
             Row{false, false, INT_MIN, -2}, Row{false, true, 0, 0},        Row{false, true, 150, 0},
             Row{false, true, -150, 0},      Row{false, true, 300, -2},     Row{false, true, -300, -2},
             Row{false, true, 75, -2},       Row{false, true, 151, -2},     Row{true, false, 1000, 0},
             Row{true, false, -1000, 0},     Row{true, false, 301, 0},      Row{true, false, -1, 0},
             Row{true, false, 1001, -2},     Row{true, false, INT_MIN, -2}, Row{true, true, 1000, 0},
             Row{true, true, 151, 0},        Row{true, true, -1001, -2},
         }) {
        g_DCVariable = r.variable;
        s_bIs300R = r.model300R;
        g_DCSetting = 7;
        EXPECT_EQ(SetDCOffset(r.offset), r.rc) << r.variable << " " << r.model300R << " " << r.offset;
        EXPECT_EQ(GetDCOffset(), r.rc == 0 ? r.offset : 7) << r.offset;
    }
    g_DCVariable = false;
    s_bIs300R = false;
}

TEST(DCOffsetMode, SwitchingTheVariableModeOffKeepsOnlyAnOffsetTheFixedModeCanGive) {
    struct Row {
        bool model300R;
        int variable;
        int fixed;
    };
    MakeReady();
    for (const Row& r : {Row{false, 300, 300}, Row{false, -300, -300}, Row{false, 0, 0}, Row{false, 500, 0},
                         Row{false, -1, 0}, Row{false, 150, 0}, Row{true, 150, 150}, Row{true, -150, -150},
                         Row{true, 300, 0}, Row{true, -1000, 0}}) {
        s_bIs300R = r.model300R;
        ASSERT_EQ(SetDCOffsetVariableMode(true), 0);
        ASSERT_EQ(SetDCOffset(r.variable), 0);
        EXPECT_EQ(SetDCOffsetVariableMode(false), 0);
        EXPECT_FALSE(GetDCOffsetVariableMode());
        EXPECT_EQ(GetDCOffset(), r.fixed) << r.model300R << " " << r.variable;
        // Switching it on again keeps the setting as it is.
        EXPECT_EQ(SetDCOffsetVariableMode(true), 0);
        EXPECT_EQ(GetDCOffset(), r.fixed);
        ASSERT_EQ(SetDCOffsetVariableMode(false), 0);
    }
    s_bIs300R = false;
}

TEST(Amplitude, StoredAsOneThousandthAndRefusedDuringBaselineTest) {
    MakeReady();
    EXPECT_EQ(SetAmplitude(250.0), 0);
    EXPECT_DOUBLE_EQ(GetAmplitude(), 250.0);
    EXPECT_DOUBLE_EQ(g_NextAmplitude, 0.25);
    EXPECT_EQ(SetAmplitude(250.0), 0); // unchanged setting: accepted, nothing to do
    EXPECT_DOUBLE_EQ(g_NextAmplitude, 0.25);
    EXPECT_EQ(SetAmplitude(2000.0), 0);
    EXPECT_EQ(SetAmplitude(2000.5), -2);
    EXPECT_DOUBLE_EQ(GetAmplitude(), 2000.0);

    g_MainOutput = 1;
    EXPECT_EQ(SetBaselineResetTest(2), 0);
    EXPECT_EQ(SetAmplitude(500.0), -3);
    EXPECT_DOUBLE_EQ(GetAmplitude(), 2000.0);
    EXPECT_EQ(SetAmplitude(2500.0), -2); // the range comes first
}

TEST(OutputFunction, SixAndSevenAreStoredAsTwelveAndThirteen) {
    MakeReady();
    EXPECT_EQ(SetOutputFunc(6), 0);
    EXPECT_EQ(g_MainOutput, 12);
    EXPECT_EQ(GetOutputFunc(), 6);
    EXPECT_EQ(SetOutputFunc(7), 0);
    EXPECT_EQ(g_MainOutput, 13);
    EXPECT_EQ(GetOutputFunc(), 7);
    EXPECT_EQ(SetOutputFunc(3), 0);
    EXPECT_EQ(g_MainOutput, 3);
    EXPECT_EQ(GetOutputFunc(), 3);
}

TEST(OutputFunction, RepeatedNumberIsIgnoredExceptSixAndSeven) {
    MakeReady();
    // Selecting a non-zero function restarts the graph time; a call that does nothing leaves it.
    struct Row {
        int first;
        int second;
        bool reapplied;
    };
    for (const Row& r : {Row{3, 3, false}, Row{6, 6, true}, Row{7, 7, true}, Row{6, 12, false},
                         Row{15, 15, false}, Row{20, 20, false}}) {
        g_MainOutput = 0;
        ASSERT_EQ(SetOutputFunc(r.first), 0);
        g_fOutputTimeGraph = 5.0;
        EXPECT_EQ(SetOutputFunc(r.second), 0);
        EXPECT_DOUBLE_EQ(g_fOutputTimeGraph, r.reapplied ? 0.0 : 5.0) << r.first << " " << r.second;
    }
    // Switching off keeps the graph time.
    g_fOutputTimeGraph = 5.0;
    EXPECT_EQ(SetOutputFunc(0), 0);
    EXPECT_EQ(g_MainOutput, 0);
    EXPECT_DOUBLE_EQ(g_fOutputTimeGraph, 5.0);
}

TEST(OutputFunction, AnyNumberIsAccepted) {
    MakeReady();
    for (int f : {16, 100, -1, INT_MIN, INT_MAX}) {
        EXPECT_EQ(SetOutputFunc(f), 0) << f;
        EXPECT_EQ(g_MainOutput, f);
        EXPECT_EQ(GetOutputFunc(), f);
        EXPECT_DOUBLE_EQ(GetFrequency(), 10.0);
    }
}

TEST(OutputFunction, SwitchRechecksTheFrequencyAgainstTheNewLimit) {
    MakeReady();
    EXPECT_EQ(SetOutputFunc(4), 0);
    EXPECT_DOUBLE_EQ(GetFrequency(), 5.0);
    EXPECT_DOUBLE_EQ(g_fTimePeriod, 0.2);
    EXPECT_EQ(SetFrequency(8.0), -2);
    EXPECT_DOUBLE_EQ(GetFrequency(), 5.0);
    EXPECT_EQ(SetFrequency(2.0), 0);
    EXPECT_EQ(SetOutputFunc(1), 0);
    EXPECT_DOUBLE_EQ(GetFrequency(), 2.0);
    EXPECT_DOUBLE_EQ(g_fTimePeriod, 0.5);
}

TEST(Frequency, ClampsBelowTheMinimumAndAboveTheLimitAndReportsMinusTwo) {
    struct Row {
        int function;
        double hz;
        int rc;
        double stored;
    };
    MakeReady();
    for (const Row& r : {
             Row{1, 0.05, 0, 0.05},
             Row{1, 0.0499, -2, 0.05},
             Row{1, -3.0, -2, 0.05},
             Row{1, 500.0, 0, 500.0},
             Row{1, 500.01, -2, 500.0},
             Row{4, 5.0, 0, 5.0},
             Row{4, 8.0, -2, 5.0},
             Row{5, 5.01, -2, 5.0},
             Row{7, 6.0, 0, 6.0},
             Row{7, 6.5, -2, 6.0},
             Row{12, 450.0, 0, 450.0},
             Row{0, 499.0, 0, 499.0},
         }) {
        g_MainOutput = r.function;
        g_NextFrequency = 1.0;
        g_Frequency = 1.0;
        EXPECT_EQ(SetFrequency(r.hz), r.rc) << r.function << " " << r.hz;
        EXPECT_DOUBLE_EQ(GetFrequency(), r.stored) << r.function << " " << r.hz;
        // Clamped or not, the change was asked for (and made at once: no waveform is output); with the
        // output off nothing is put in force.
        EXPECT_DOUBLE_EQ(g_Frequency, r.function != 0 ? r.stored : 1.0) << r.function << " " << r.hz;
    }
}

TEST(Frequency, NaNAndInfinityAreRefusedWithoutClamping) {
    MakeReady();
    for (double bad : {kNaN, kInf, -kInf}) {
        g_NextFrequency = 3.0;
        EXPECT_EQ(SetFrequency(bad), -2) << bad;
        EXPECT_DOUBLE_EQ(GetFrequency(), 3.0) << bad;
    }
}

TEST(Frequency, ScanAndBaselineTestRefuseAfterTheClampCheck) {
    MakeReady();
    g_MainOutput = 1;
    struct State {
        bool scanEnabled;
        bool sineScan;
        bool ecgScan;
        int baseline;
        int code;
    };
    for (const State& s :
         {State{true, true, false, 0, -3}, State{true, false, true, 0, -3}, State{false, true, false, 0, -3},
          State{false, false, false, 2, -4}, State{true, true, false, 3, -3}}) {
        g_bFrequencyScanEnabled = s.scanEnabled;
        g_FreqScan1 = s.sineScan;
        g_FreqScan3 = s.ecgScan;
        g_BaseLineOverload = s.baseline;
        g_NextFrequency = 60.0;
        EXPECT_EQ(SetFrequency(20.0), s.code);
        EXPECT_DOUBLE_EQ(GetFrequency(), 60.0);
        // Out of range: still -2, but the scan's or the test's frequency stays.
        EXPECT_EQ(SetFrequency(0.01), -2);
        EXPECT_EQ(SetFrequency(900.0), -2);
        EXPECT_DOUBLE_EQ(GetFrequency(), 60.0);
    }
}

TEST(Frequency, SwitchDuringScanKeepsTheScanFrequency) {
    MakeReady();
    g_MainOutput = 1;
    g_bFrequencyScanEnabled = g_FreqScan1 = true;
    g_NextFrequency = 120.0;
    EXPECT_EQ(SetOutputFunc(4), 0);
    EXPECT_EQ(g_MainOutput, 4);
    EXPECT_DOUBLE_EQ(GetFrequency(), 120.0);
}

TEST(OutputLeads, ToggleOneBitAndRefuseLeadsOutsideZeroToEight) {
    MakeReady();
    EXPECT_EQ(SetOutputLead(3, true), 0);
    EXPECT_EQ(g_OutputLead, 0x9u);
    EXPECT_EQ(SetOutputLead(3, true), 0); // already on
    EXPECT_EQ(g_OutputLead, 0x9u);
    EXPECT_EQ(SetOutputLead(8, true), 0);
    EXPECT_EQ(SetOutputLead(0, false), 0);
    EXPECT_EQ(g_OutputLead, 0x108u);
    EXPECT_TRUE(GetOutputLead(3));
    EXPECT_TRUE(GetOutputLead(8));
    EXPECT_FALSE(GetOutputLead(0));
    for (int bad : {9, 31, 32, 33, -1, INT_MIN, INT_MAX}) {
        EXPECT_EQ(SetOutputLead(bad, true), -2) << bad;
        EXPECT_EQ(SetOutputLead(bad, false), -2) << bad;
        EXPECT_FALSE(GetOutputLead(bad)) << bad;
    }
    EXPECT_EQ(g_OutputLead, 0x108u);
}

TEST(InputImpedance, StoredAsGiven) {
    MakeReady();
    EXPECT_EQ(SetInputImpedanceMode(false), 0);
    EXPECT_FALSE(GetInputImpedanceMode());
    EXPECT_EQ(SetInputImpedanceMode(true), 0);
    EXPECT_TRUE(GetInputImpedanceMode());
}

TEST(BaselineResetTest, OnlyModesZeroToFourAndOnlyWithTheSine) {
    MakeReady();
    struct Row {
        int function;
        int mode;
        int rc;
    };
    for (const Row& r : {Row{1, 1, 0}, Row{1, 4, 0}, Row{1, 0, 0}, Row{3, 0, 0}, Row{3, 1, -2}, Row{0, 2, -2},
                         Row{1, 5, -2}, Row{1, -1, -2}, Row{1, INT_MAX, -2}, Row{1, INT_MIN, -2}}) {
        g_MainOutput = r.function;
        g_BaseLineOverload = 3;
        EXPECT_EQ(SetBaselineResetTest(r.mode), r.rc) << r.function << " " << r.mode;
        EXPECT_EQ(GetBaselineResetTest(), r.rc == 0 ? r.mode : 3) << r.function << " " << r.mode;
    }
}

TEST(StoredWaveforms, IndicesOutsideTheTablesAreRefused) {
    g_MainOutput = 3;
    g_nSpecialWaveform = 2;
    g_nANE20000ChannelNumber = 1;
    for (int bad : {10, -1, INT_MAX}) {
        EXPECT_EQ(SetSpecialWave227(static_cast<SpecialWave227_E>(bad)), -2) << bad;
    }
    for (int bad : {16, -1, INT_MIN}) {
        EXPECT_EQ(SetSpecialWave251(static_cast<SpecialWave251_E>(bad)), -2) << bad;
    }
    for (int bad : {9, -1, INT_MAX}) {
        EXPECT_EQ(SetANE20000Lead(bad), -1) << bad;
    }
    EXPECT_EQ(g_MainOutput, 3);
    EXPECT_EQ(GetSpecialWave227(), 2);
    EXPECT_EQ(GetANE20000Lead(), 1);

    EXPECT_EQ(SetSpecialWave227(SpecialWave227_9), 0);
    EXPECT_EQ(g_MainOutput, 8);
    EXPECT_EQ(GetSpecialWave251(), 9);
    EXPECT_EQ(SetSpecialWave251(SpecialWave251_15), 0);
    EXPECT_EQ(g_MainOutput, 9);
    EXPECT_EQ(GetSpecialWave227(), 15);
    EXPECT_EQ(SetANE20000Lead(0), 0);
    EXPECT_EQ(SetANE20000Lead(8), 0);
    EXPECT_EQ(g_MainOutput, 15);
    EXPECT_EQ(GetANE20000Lead(), 8);
}

TEST(Pacing, StoredAsGiven) {
    MakeReady();
    EXPECT_EQ(SetPacingPulseMode(PacingPulse_Pair250ms), 0);
    EXPECT_EQ(GetPacingPulseMode(), PacingPulse_Pair250ms);
    // Other patterns are kept (they behave as one pulse).
    EXPECT_EQ(SetPacingPulseMode(static_cast<PacingPulse_E>(7)), 0);
    EXPECT_EQ(static_cast<int>(GetPacingPulseMode()), 7);
    EXPECT_EQ(SetPacingOvershootAmp(-2.5), 0);
    EXPECT_DOUBLE_EQ(g_fNextOvershootAmplitude, -2.5);
    EXPECT_DOUBLE_EQ(g_fOvershootAmplitude, 0.0); // in force only after the change
}

TEST(MainsNoise, NeedsTheECG2_27ComplexAndAnAmplitudeOnlyWhenOn) {
    MakeReady();
    g_MainOutput = 3;
    EXPECT_EQ(SetECG2_27_Noise(ECG2_27_Noise_Off, 5.0), 0);
    EXPECT_EQ(GetECG2_27_NoiseFreq(), 0);
    EXPECT_DOUBLE_EQ(GetECG2_27_NoiseAmp(), 5.0);
    EXPECT_EQ(SetECG2_27_Noise(ECG2_27_Noise_50Hz, 0.1), -2);
    EXPECT_EQ(SetECG2_27_Noise(ECG2_27_Noise_60Hz, 0.5), -2); // the function check comes first
    EXPECT_EQ(GetECG2_27_NoiseFreq(), 0);
    g_MainOutput = 7;
    EXPECT_EQ(SetECG2_27_Noise(ECG2_27_Noise_60Hz, 0.5), -3);
    EXPECT_EQ(SetECG2_27_Noise(ECG2_27_Noise_60Hz, 0.05), 0);
    EXPECT_EQ(GetECG2_27_NoiseFreq(), 2);
    EXPECT_DOUBLE_EQ(GetECG2_27_NoiseAmp(), 0.05);
    EXPECT_DOUBLE_EQ(g_MainNoiseAmplitude, 0.025); // half of it, in force at once while nothing streams
    // With the noise off the amplitude is not range-checked, but must still be a number.
    for (double bad : {kNaN, kInf, -kInf}) {
        EXPECT_EQ(SetECG2_27_Noise(ECG2_27_Noise_Off, bad), -3) << bad;
    }
    EXPECT_EQ(GetECG2_27_NoiseFreq(), 2);
    EXPECT_DOUBLE_EQ(GetECG2_27_NoiseAmp(), 0.05);
}

TEST(DriftTest, StoredAsGiven) {
    MakeReady();
    EXPECT_EQ(SetECG2_27_AAMIDriftTest(true), 0);
    EXPECT_TRUE(GetECG2_27_AAMIDriftTest());
    EXPECT_EQ(SetECG2_27_AAMIDriftTest(false), 0);
    EXPECT_FALSE(GetECG2_27_AAMIDriftTest());
}

TEST(DynamicRangeTest, OnOnlyWithTriangleOrSquare) {
    MakeReady();
    struct Row {
        int function;
        bool on;
        int rc;
    };
    for (const Row& r : {Row{2, true, 0}, Row{3, true, 0}, Row{1, true, -2}, Row{0, true, -2},
                         Row{14, true, -2}, Row{1, false, 0}}) {
        g_MainOutput = r.function;
        g_DynamicRangeTest = !r.on;
        EXPECT_EQ(SetDynamicRangeTest(r.on, 2.0, 25.0), r.rc) << r.function << " " << r.on;
        EXPECT_EQ(GetDynamicRangeTest(), r.rc == 0 ? r.on : !r.on);
    }
    g_MainOutput = 1;
    EXPECT_EQ(SetDynamicRangeTest(true, 9.0, 99.0), -2); // the function check comes first
    g_MainOutput = 2;
    EXPECT_EQ(SetDynamicRangeTest(true, 9.0, 99.0), -3);
    EXPECT_EQ(SetDynamicRangeTest(true, 4.0, 99.0), -4);
    EXPECT_DOUBLE_EQ(GetDynamicRangeTestAmp(), 2.0);
    EXPECT_DOUBLE_EQ(GetDynamicRangeTestFreq(), 25.0);
}

} // namespace
