// Changes at cycle boundaries: when a setting takes effect in the stream, stopping, changes asked for from
// inside a change or a packet, and the limits a change puts on amplitude and frequency.
#include "stream/StreamTestSupport.h"

#include "stream/PacketStream.h"
#include "api/PollLoop.h"
#include "stream/DataRequests.h"
#include "api/SessionState.h"
#include "device/DeviceState.h"
#include "stream/Change.h"
#include "stream/OutputStage.h"
#include "synth/SynthesisState.h"
#include "synth/WaveformSettings.h"

#include <atomic>
#include <cmath>
#include <cstdlib>
#include <thread>

using namespace streamtest;
using qoltsim::Pacing;

namespace {

class CycleBoundary : public StreamFixture {};

// Index of the first sample whose distance from 0 V differs from `oldCodes`.
size_t FirstChanged(const std::vector<qoltsim::SampleRecord>& samples, size_t from, int oldCodes) {
    for (size_t i = from; i < samples.size(); ++i)
        if (std::abs(samples[i].code - 2048) != oldCodes)
            return i;
    return samples.size();
}

TEST_F(CycleBoundary, At1HzAnAmplitudeChangeWaitsForTheEndOfTheCycle) {
    auto& vi = Linked(Pacing::Manual);
    ASSERT_EQ(SetFrequency(1.0), 0);
    ASSERT_EQ(SetOutputFunc(3), 0); // square of amplitude 100: +-0.25, 100 codes
    ASSERT_TRUE(vi.WaitForPackets(1, kWait));
    Request(vi, 1);
    ASSERT_EQ(SetAmplitude(200.0), 0);
    EXPECT_DOUBLE_EQ(GetAmplitude(), 200.0);
    Request(vi, 3);
    const auto samples = vi.Samples();
    ASSERT_EQ(samples.size(), 7500u);
    // Made within the last two samples of the cycle; the next sample starts a new cycle.
    const size_t changed = FirstChanged(samples, 0, 100);
    EXPECT_TRUE(changed == 4999 || changed == 5000) << changed;
    for (size_t i = changed; i < changed + 2500; ++i)
        ASSERT_EQ(samples[i].code, 2048 + 200) << i;
    for (size_t i = changed + 2500; i < samples.size(); ++i)
        ASSERT_EQ(samples[i].code, 2048 - 200) << i;
}

TEST_F(CycleBoundary, At0Point1HzAChangeIsMadeAfterTheNextSample) {
    auto& vi = Linked(Pacing::Manual);
    ASSERT_EQ(SetFrequency(0.1), 0);
    ASSERT_EQ(SetOutputFunc(3), 0);
    ASSERT_TRUE(vi.WaitForPackets(1, kWait));
    Request(vi, 1);
    ASSERT_EQ(SetAmplitude(200.0), 0);
    Request(vi, 1);
    const auto samples = vi.Samples();
    ASSERT_EQ(samples.size(), 4500u);
    EXPECT_EQ(FirstChanged(samples, 0, 100), 3001u);
    // The cycle restarts: the square's first half.
    for (size_t i = 3001; i < samples.size(); ++i)
        ASSERT_EQ(samples[i].code, 2048 + 200) << i;
}

TEST_F(CycleBoundary, OutputFunctionZeroStopsAtOnce) {
    auto& vi = Linked(Pacing::Manual);
    ASSERT_EQ(SetFrequency(0.2), 0); // a 5 s cycle
    ASSERT_EQ(SetOutputFunc(1), 0);
    ASSERT_TRUE(vi.WaitForPackets(1, kWait));
    Request(vi, 1);
    ASSERT_EQ(SetOutputFunc(0), 0);
    // No request was needed for it: the stop went out within the call.
    ASSERT_TRUE(vi.WaitForCommand(MessageKind::StopStream, 1, kWait));
    EXPECT_FALSE(vi.IsStreaming());
    EXPECT_EQ(vi.Snapshot().totalPackets, 2u);
    // Requests are not answered any more.
    ASSERT_TRUE(vi.SendDataRequest(false));
    std::this_thread::sleep_for(200ms);
    EXPECT_EQ(vi.Snapshot().totalPackets, 2u);
    // A second stop request sends nothing.
    ASSERT_EQ(SetOutputFunc(0), 0);
    ASSERT_EQ(SetOutputFunc(4), 0);
    ASSERT_EQ(SetOutputFunc(0), 0);
    ASSERT_TRUE(vi.WaitForCommand(MessageKind::StopStream, 2, kWait));
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(Sent(vi, MessageKind::StopStream).size(), 2u);
}

TEST_F(CycleBoundary, AChangeWithTheOutputOffSetsRelaysAndOffsetButSendsNoStopAndNoPacket) {
    auto& vi = Linked(Pacing::Fast);
    ASSERT_EQ(SetPulseWidth(50.0), 0);
    ASSERT_TRUE(vi.WaitForCommand(MessageKind::DcOffsetOff, 1, kWait));
    std::this_thread::sleep_for(100ms);
    const auto r = vi.Snapshot();
    EXPECT_EQ(r.totalPackets, 0u);
    EXPECT_EQ(r.CountCommands(MessageKind::StopStream), 0u);
    EXPECT_EQ(Sent(vi, MessageKind::Relays),
              (std::vector<std::vector<uint8_t>>{{0x07, 0x00, 0x00, 0x20, 0x00, 0x00}}));
    EXPECT_DOUBLE_EQ(UnderLock([] { return g_fVoltageRange; }), 5.0);
}

TEST_F(CycleBoundary, TheExponentialPairReportsAPulseWidthOf50ms) {
    auto& vi = Linked(Pacing::Manual);
    ASSERT_EQ(SetPulseWidth(120.0), 0);
    ASSERT_EQ(SetOutputFunc(6), 0);
    ASSERT_TRUE(vi.WaitForPackets(1, kWait));
    EXPECT_DOUBLE_EQ(GetPulseWidth(), 50.0);
    EXPECT_EQ(GetOutputFunc(), 6);
}

// Output samples at which the output crosses 0 V upwards (a square and an edged pulse start each cycle so).
std::vector<size_t> RisingEdges(const std::vector<qoltsim::SampleRecord>& samples) {
    std::vector<size_t> edges;
    for (size_t i = 1; i < samples.size(); ++i)
        if (samples[i - 1].code < 2048 && samples[i].code > 2048)
            edges.push_back(i);
    return edges;
}

struct ClampCase {
    const char* name;
    int function;
    double start; // Hz before
    double asked; // Hz asked for, outside the function's range
    double limit; // Hz stored and then in force
};

const ClampCase kClampCases[] = {
    {"PulseAboveItsLimit", 4, 2.0, 10.0, 5.0},
    {"SquareAboveTheLimit", 3, 100.0, 600.0, 500.0},
    {"SquareBelowTheMinimum", 3, 2.0, 0.01, 0.05},
};

void PrintTo(const ClampCase& c, std::ostream* os) {
    *os << c.name;
}

class ClampedFrequency : public CycleBoundary, public ::testing::WithParamInterface<ClampCase> {};

TEST_P(ClampedFrequency, IsRequestedLikeAnAcceptedOne) {
    const ClampCase& c = GetParam();
    auto& vi = Linked(Pacing::Manual);
    ASSERT_EQ(SetFrequency(c.start), 0);
    ASSERT_EQ(SetOutputFunc(c.function), 0);
    ASSERT_TRUE(vi.WaitForPackets(1, kWait));
    EXPECT_EQ(SetFrequency(c.asked), -2);
    EXPECT_DOUBLE_EQ(GetFrequency(), c.limit);
    // The change waits for the end of the running cycle (0.5 s at most), then the limit is in force.
    Request(vi, 4);
    EXPECT_DOUBLE_EQ(UnderLock([] { return g_Frequency; }), c.limit);
    EXPECT_DOUBLE_EQ(GetTimePeriod(), 1.0 / c.limit);
    EXPECT_DOUBLE_EQ(GetFrequency(), c.limit);
    // On the wire: the last cycles are those of the limit (none more within 1.5 s below the minimum).
    const auto samples = vi.Samples();
    ASSERT_EQ(samples.size(), 7500u);
    const auto edges = RisingEdges(samples);
    ASSERT_FALSE(edges.empty());
    const double cycle = 5000.0 / c.limit;
    if (cycle < 2500.0) {
        ASSERT_GE(edges.size(), 2u);
        EXPECT_NEAR(static_cast<double>(edges.back() - edges[edges.size() - 2]), cycle, 1.0);
    } else {
        EXPECT_LE(edges.back(), 2501u); // the start of the long cycle, at the end of the first
    }
}

INSTANTIATE_TEST_SUITE_P(Stream, ClampedFrequency, ::testing::ValuesIn(kClampCases),
                         [](const ::testing::TestParamInfo<ClampCase>& info) { return info.param.name; });

// Callbacks that change the output from inside a packet. Plain function pointers: their orders come
// through globals.
std::atomic<int> g_graphCalls{0};
std::atomic<int> g_actAtCall{-1};
std::atomic<int> g_restartWith{-1};

void ChangeOutputFromGraph(double, double) {
    if (g_graphCalls++ == g_actAtCall) {
        SetOutputFunc(0);
        if (g_restartWith >= 0)
            SetOutputFunc(g_restartWith);
    }
}

TEST_F(CycleBoundary, AStopAskedForInsideTheFirstPacketEndsItAsInAnyOther) {
    // The first packet is built by the poll thread like every other (the starting call only asks for
    // it): a stop from inside it is made at once, and the packet of the stopped stream is not sent.
    auto& vi = Linked(Pacing::Fast);
    g_actAtCall = 10;
    RegisterTimeAmpCB(ChangeOutputFromGraph);
    ASSERT_EQ(SetOutputFunc(1), 0);
    ASSERT_TRUE(vi.WaitForCommand(MessageKind::StopStream, 1, kWait));
    std::this_thread::sleep_for(200ms);
    EXPECT_EQ(vi.Snapshot().totalPackets, 0u);
    EXPECT_FALSE(vi.IsStreaming());
    EXPECT_EQ(GetOutputFunc(), 0);
    EXPECT_TRUE(vi.Snapshot().violations.empty());
}

TEST_F(CycleBoundary, APacketWhoseStreamStoppedWhileItWasBuiltIsNotSent) {
    auto& vi = Linked(Pacing::Manual);
    g_actAtCall = 3 * 300 + 17; // in the fourth packet, on the poll thread
    RegisterTimeAmpCB(ChangeOutputFromGraph);
    ASSERT_EQ(SetOutputFunc(1), 0);
    ASSERT_TRUE(vi.WaitForPackets(1, kWait));
    Request(vi, 2);
    ASSERT_TRUE(vi.SendDataRequest(false));
    ASSERT_TRUE(vi.WaitForCommand(MessageKind::StopStream, 1, kWait));
    std::this_thread::sleep_for(200ms);
    const auto r = vi.Snapshot();
    EXPECT_EQ(r.totalPackets, 3u);
    EXPECT_TRUE(r.violations.empty());
    EXPECT_FALSE(vi.IsStreaming());
}

TEST_F(CycleBoundary, ARequestReadWithOneWhosePacketRestartedTheStreamGetsNoPacketOfTheNewStream) {
    auto& vi = Linked(Pacing::Manual);
    g_actAtCall = 300 + 17; // in the second packet
    g_restartWith = 2;
    RegisterTimeAmpCB(ChangeOutputFromGraph);
    ASSERT_EQ(SetOutputFunc(1), 0);
    ASSERT_TRUE(vi.WaitForPackets(1, kWait));
    {
        // Two requests of the first stream, found in one read.
        CAutoPausePooling pause;
        ASSERT_TRUE(vi.SendDataRequest(false));
        ASSERT_TRUE(vi.SendDataRequest(false));
        std::this_thread::sleep_for(100ms);
    }
    ASSERT_TRUE(vi.WaitForCommand(MessageKind::StopStream, 1, kWait));
    ASSERT_TRUE(vi.WaitForPackets(2, kWait));
    std::this_thread::sleep_for(300ms);
    // The second stream has its first packet only: the other request was the first stream's.
    const auto r = vi.Snapshot();
    ASSERT_EQ(r.totalPackets, 2u) << Describe(vi);
    EXPECT_TRUE(r.packets[1].streamStart);
    EXPECT_EQ(r.packets[1].firstCounter, 0);
    EXPECT_TRUE(r.violations.empty());
    ASSERT_EQ(SetOutputFunc(0), 0);
}

TEST_F(CycleBoundary, AStreamRestartedWhileAPacketWasBuiltGetsOnlyItsOwnPackets) {
    auto& vi = Linked(Pacing::Fast);
    g_actAtCall = 5 * 300 + 100;
    g_restartWith = 2;
    RegisterTimeAmpCB(ChangeOutputFromGraph);
    ASSERT_EQ(SetOutputFunc(1), 0);
    ASSERT_TRUE(vi.WaitForCommand(MessageKind::StopStream, 1, kWait));
    ASSERT_TRUE(vi.WaitFor([](const qoltsim::Recording& r) { return r.totalPackets >= 20; }, kWait));
    // Read under the lock: the poll thread sets the output function meanwhile.
    EXPECT_EQ(UnderLock([] { return GetOutputFunc(); }), 2);
    ASSERT_EQ(SetOutputFunc(0), 0);
    const auto r = vi.Snapshot();
    EXPECT_TRUE(r.violations.empty()) << qoltsim::ViolationKindName(r.violations[0].kind);
    // Five packets of the sine, then the triangle from its first packet (counter 0) on.
    ASSERT_GE(r.packets.size(), 7u);
    EXPECT_FALSE(r.packets[4].streamStart);
    EXPECT_TRUE(r.packets[5].streamStart);
    EXPECT_EQ(r.packets[5].firstCounter, 0);
    // The triangle's clock runs on from 0 without a gap: the abandoned packet advanced nothing of it.
    const size_t first = r.packets[5].firstSample;
    const size_t count = r.samples.size() - first;
    const OutputClock clock(count, 0.1);
    const double a = 0.25, k = 4 * a / 0.1;
    for (size_t i = 0; i < count; ++i) {
        const double t = clock.phases[i];
        const double v = t < 0.025 ? k * t : t < 0.075 ? 2 * a - k * t : k * t - 4 * a;
        ASSERT_NEAR(r.samples[first + i].value, v, 0.0025) << i;
    }
}

// ---- Limits a change puts on the settings (no instrument needed) -------------------------------------

void Listener(bool) {}

struct LimitCase {
    const char* what;
    int function;
    double amplitude;
    double pacing;
    bool enhanced;
    double dynamicRange; // peak-to-peak of the added sine; < 0: test off
    double peak;         // g_Amplitude in force
    double setting;      // what GetAmplitude reports after the change
};

TEST(ChangeLimits, ClampedPeaksKeepTheirSignAndTheSettingThatGivesThem) {
    const LimitCase cases[] = {
        {"ECG2_27 within", 7, 1000.0, 0.0, false, -1.0, 5.0, 1000.0},
        {"ECG2_27 above", 7, 2000.0, 0.0, false, -1.0, 2 * 2.857, 1142.8},
        {"ECG2_27 below", 7, -2000.0, 0.0, false, -1.0, -2 * 2.857, -1142.8},
        {"ECG2_27 paced", 7, 2000.0, 1.0, false, -1.0, 2.5, 500.0},
        {"ECG2_27 paced, negative", 7, -800.0, -1.0, false, -1.0, -2.5, -500.0},
        {"ECG2_27 enhanced", 7, 2000.0, 0.0, true, -1.0, 5.0, 2000.0},
        {"ECG2_27 enhanced, paced", 7, 2000.0, 3.0, true, -1.0, 2.5, 1000.0},
        {"square, dynamic range", 3, 2000.0, 0.0, false, 2.0, 4.0, 1600.0},
        {"square, dynamic range, negative", 3, -2000.0, 0.0, false, 2.0, -4.0, -1600.0},
        {"triangle, dynamic range within", 2, 1000.0, 0.0, false, 2.0, 2.5, 1000.0},
        {"triangle, dynamic range, enhanced", 2, 2000.0, 0.0, true, 5.0, 2.5, 2000.0},
        {"ECG2_27 under the dynamic-range flag", 7, 1000.0, 0.0, false, 2.0, 4.0, 800.0},
        {"sine", 1, -2000.0, 0.0, false, -1.0, -5.0, -2000.0},
    };
    g_Callback = Listener; // ready without an instrument; nothing streams
    for (const auto& c : cases) {
        s_bIs300R = c.enhanced;
        g_MainOutput = c.function;
        g_PacingAmplitude = c.pacing;
        g_DynamicRangeTest = c.dynamicRange >= 0.0;
        g_ADynamicRange = c.dynamicRange;
        g_NextAmplitude = c.amplitude / 1000.0;
        Change();
        EXPECT_NEAR(g_Amplitude, c.peak, 1e-12) << c.what;
        EXPECT_NEAR(GetAmplitude(), c.setting, 1e-9) << c.what;
        // The stored setting gives the same peak again.
        Change();
        EXPECT_NEAR(g_Amplitude, c.peak, 1e-12) << c.what;
        EXPECT_FALSE(s_ECGGoing) << c.what;
    }
}

TEST(ChangeLimits, TheFrequencyInForceIsLimitedAndReported) {
    RegisterSyncFreqCB(RecordFreq);
    g_MainOutput = 4;
    g_NextFrequency = 10.0;
    Change();
    EXPECT_DOUBLE_EQ(g_Frequency, 5.0);
    EXPECT_DOUBLE_EQ(g_fTimePeriod, 0.2);
    EXPECT_EQ(FreqSyncs().Values(), std::vector<double>{5.0});
    g_MainOutput = 7;
    Change();
    EXPECT_DOUBLE_EQ(g_Frequency, 6.0);
    g_MainOutput = 1;
    g_NextFrequency = 400.0;
    Change();
    EXPECT_DOUBLE_EQ(g_Frequency, 400.0);
    EXPECT_EQ(FreqSyncs().Values(), (std::vector<double>{5.0, 6.0}));
}

} // namespace
