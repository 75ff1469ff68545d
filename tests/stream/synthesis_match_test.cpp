// What the instrument decodes equals the main-function synthesis at the same output times, for every
// output function: the packet builder's clock, phase and coding, read back through the instrument's own
// decoding. Settings are made before the link comes up, so that each stream starts with them from its
// first sample.
#include "stream/StreamTestSupport.h"

#include "synth/InputDynamicRange.h"
#include "synth/MainFunctionVoltage.h"
#include "stream/OutputStage.h"
#include "synth/PacingState.h"
#include "synth/PlaybackBuffer.h"
#include "synth/SynthesisState.h"
#include "synth/WaveformSettings.h"

#include <cmath>
#include <functional>

using namespace streamtest;
using qoltsim::Pacing;

namespace {

constexpr int kPackets = 8; // 2.4 s of output

void PlayRecording() {
    // 0.7 Hz at 250 samples/s, peak 800 (4.0 V), looping every 4 s.
    static std::vector<double> recording;
    if (recording.empty())
        for (int i = 0; i < 1000; ++i)
            recording.push_back(800.0 * std::sin(2 * M_PI * 0.7 * i / 250.0) * (i % 7 == 0 ? 0.5 : 1.0));
    UnderLock([] {
        g_pECGFile = recording.data();
        g_nECGFileSize = static_cast<int>(recording.size());
        g_fECGFileFreq = 250.0;
        g_fECGFileMax = 0.8;
        g_bPlayLoop = true;
        return 0;
    });
    ASSERT_EQ(SetOutputFunc(7), 0);
}

void ECG2_27() {
    // Reached through the ECG-rate scan only; selected here directly.
    UnderLock([] { return g_MainOutput = 7; });
    ASSERT_EQ(SetFrequency(1.1), 0);
    ASSERT_EQ(SetQRSDuration(80.0), 0);
    ASSERT_EQ(SetTWave(0.4), 0);
    ASSERT_EQ(SetECG2_27_Noise(ECG2_27_Noise_50Hz, 0.1), 0);
    ASSERT_EQ(SetECG2_27_AAMIDriftTest(true), 0);
    ASSERT_EQ(SetAmplitude(900.0), 0);
}

struct FunctionCase {
    const char* name;
    std::function<void()> configure;
};

const FunctionCase kCases[] = {
    {"Sine",
     [] {
         ASSERT_EQ(SetOutputFunc(1), 0);
         ASSERT_EQ(SetFrequency(7.0), 0);
         ASSERT_EQ(SetAmplitude(1500.0), 0);
     }},
    {"TriangleWithDynamicRange",
     [] {
         ASSERT_EQ(SetOutputFunc(2), 0);
         ASSERT_EQ(SetFrequency(3.0), 0);
         ASSERT_EQ(SetAmplitude(1000.0), 0);
         ASSERT_EQ(SetDynamicRangeTest(true, 1.0, 40.0), 0);
     }},
    {"NegativeSquareWithDynamicRange",
     [] {
         ASSERT_EQ(SetOutputFunc(3), 0);
         ASSERT_EQ(SetFrequency(2.5), 0);
         ASSERT_EQ(SetAmplitude(-1800.0), 0);
         ASSERT_EQ(SetDynamicRangeTest(true, 2.0, 25.0), 0);
     }},
    {"Pulse",
     [] {
         ASSERT_EQ(SetOutputFunc(4), 0);
         ASSERT_EQ(SetFrequency(2.0), 0);
         ASSERT_EQ(SetPulseWidth(150.0), 0);
         ASSERT_EQ(SetAmplitude(800.0), 0);
     }},
    {"TriangularPulse",
     [] {
         ASSERT_EQ(SetOutputFunc(5), 0);
         ASSERT_EQ(SetFrequency(1.5), 0);
         ASSERT_EQ(SetPulseWidth(220.0), 0);
         ASSERT_EQ(SetAmplitude(-600.0), 0);
     }},
    {"ExponentialPair",
     [] {
         ASSERT_EQ(SetFrequency(0.8), 0);
         ASSERT_EQ(SetAmplitude(1200.0), 0);
         ASSERT_EQ(SetOutputFunc(6), 0);
     }},
    {"Playback", PlayRecording},
    {"ECG2_27", ECG2_27},
    {"IEC227", [] { ASSERT_EQ(SetSpecialWave227(SpecialWave227_3), 0); }},
    {"IEC251", [] { ASSERT_EQ(SetSpecialWave251(SpecialWave251_7), 0); }},
    {"ECGNotchedR",
     [] {
         ASSERT_EQ(SetOutputFunc(10), 0);
         ASSERT_EQ(SetFrequency(1.3), 0);
         ASSERT_EQ(SetAmplitude(1000.0), 0);
     }},
    {"ECGSingleR",
     [] {
         ASSERT_EQ(SetOutputFunc(11), 0);
         ASSERT_EQ(SetFrequency(0.9), 0);
         ASSERT_EQ(SetAmplitude(700.0), 0);
     }},
    {"Staircase",
     [] {
         ASSERT_EQ(SetOutputFunc(14), 0);
         ASSERT_EQ(SetFrequency(1.0), 0);
     }},
    {"ANE20000", [] { ASSERT_EQ(SetANE20000Lead(4), 0); }},
    {"NoWaveformNumber", [] { ASSERT_EQ(SetOutputFunc(16), 0); }},
};

void PrintTo(const FunctionCase& c, std::ostream* os) {
    *os << c.name;
}

class SynthesisMatch : public StreamFixture, public ::testing::WithParamInterface<FunctionCase> {};

TEST_P(SynthesisMatch, DecodedSamplesEqualTheSynthesisAtTheSameOutputTimes) {
    qoltsim::Config config;
    config.pacing = Pacing::Manual;
    auto& vi = AddInstrument(config);
    // Ready through a listener, but no port: nothing streams until the link comes up.
    UnderLock([] { return g_Callback = RecordA; });
    GetParam().configure();
    if (HasFatalFailure())
        return;
    ASSERT_TRUE(Init(RecordA));
    ASSERT_TRUE(ListenerA().WaitForCount(1));
    ASSERT_TRUE(vi.WaitForPackets(1, kWait)); // the output still selected starts at link-up
    Request(vi, kPackets - 1);
    const auto r = vi.Snapshot();
    ASSERT_TRUE(r.violations.empty());
    ASSERT_EQ(r.samples.size(), kPackets * 1500u);

    // The stream waits for a request now; replay the synthesis from the start of the cycle state.
    CAutoCriticalSection lock(g_APICriticalSection);
    const double range = g_fVoltageRange;
    ASSERT_EQ(range, 5.0);
    const OutputClock clock(r.samples.size(), g_fTimePeriod);
    _StartInputDynamicRange();
    size_t highRange = 0;
    double peak = 0.0;
    for (size_t i = 0; i < r.samples.size(); ++i) {
        g_fOutputTime = clock.times[i];
        s_PacingHighRangeNeeded = false;
        const double v = _GetMainFunctionVoltage(clock.phases[i]);
        const auto& s = r.samples[i];
        ASSERT_EQ(s.HighRange(), s_PacingHighRangeNeeded) << i;
        ASSERT_FALSE(s.Short()) << i;
        const double step = s.HighRange() ? 0.5 : range / 2000.0;
        ASSERT_NEAR(s.value, v, step) << "sample " << i << " at " << clock.times[i];
        highRange += s.HighRange() ? 1 : 0;
        peak = std::max(peak, std::fabs(s.value));
    }
    // Every waveform but the empty one moves; only the staircase uses the high range.
    if (std::string(GetParam().name) == "NoWaveformNumber")
        EXPECT_EQ(peak, 0.0);
    else
        EXPECT_GT(peak, 0.1);
    EXPECT_EQ(highRange > 0, std::string(GetParam().name) == "Staircase");
}

INSTANTIATE_TEST_SUITE_P(Stream, SynthesisMatch, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<FunctionCase>& info) { return info.param.name; });

} // namespace
