// The sample packet stream end to end against the virtual instrument: the unasked first packet, one
// packet per data request, the packet layout, the sample code and its flags, the graph callback, the end
// of a recording played once, and the restart of the output at link-up.
#include "stream/StreamTestSupport.h"

#include "stream/PacketStream.h"
#include "synth/PacingState.h"
#include "synth/PlaybackBuffer.h"
#include "synth/SynthesisState.h"
#include "synth/WaveformSettings.h"

#include <cmath>
#include <limits>
#include <thread>

using namespace streamtest;
using qoltsim::Pacing;

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

class PacketStream : public StreamFixture {};

// A recording for output function 7 (stored 13), written straight into the playback buffer.
void LoadRecording(std::vector<double>& samples, double rate, bool loop) {
    UnderLock([&] {
        g_pECGFile = samples.data();
        g_nECGFileSize = static_cast<int>(samples.size());
        g_fECGFileFreq = rate;
        g_fECGFileMax = 5.0;
        g_bPlayLoop = loop;
        return 0;
    });
}

TEST_F(PacketStream, FirstPacketGoesOutUnaskedThenExactlyOnePerRequest) {
    auto& vi = Linked(Pacing::Manual);
    ASSERT_EQ(SetOutputFunc(1), 0);
    ASSERT_TRUE(vi.WaitForPackets(1, kWait));
    EXPECT_EQ(vi.Snapshot().CountSent("request"), 0u);

    Request(vi, 4);
    // Three requests at once (the instrument's buffer drained): three packets, no more.
    for (int i = 0; i < 3; ++i)
        ASSERT_TRUE(vi.SendDataRequest(false));
    ASSERT_TRUE(vi.WaitForPackets(8, kWait));
    std::this_thread::sleep_for(300ms);

    const auto r = vi.Snapshot();
    EXPECT_EQ(r.totalPackets, 8u);
    EXPECT_TRUE(r.violations.empty()) << qoltsim::ViolationKindName(r.violations[0].kind);
    ASSERT_EQ(r.packets.size(), 8u);
    EXPECT_TRUE(r.packets[0].streamStart);
    for (size_t p = 0; p < r.packets.size(); ++p) {
        const auto& bytes = r.packets[p].bytes;
        ASSERT_EQ(bytes.size(), 3200u);
        EXPECT_FALSE(p > 0 && r.packets[p].streamStart);
        for (size_t k = 0; k < 50; ++k) {
            EXPECT_EQ(bytes[64 * k], 0x01) << p << " " << k;
            // The counter runs on across packets and wraps after 255: 50 per packet from 0.
            EXPECT_EQ(bytes[64 * k + 1], static_cast<uint8_t>(50 * p + k)) << p << " " << k;
            EXPECT_EQ(bytes[64 * k + 2], k == 6 ? 'E' : 0x00) << p << " " << k;
            EXPECT_EQ(bytes[64 * k + 3], 0x00) << p << " " << k;
        }
        EXPECT_EQ(bytes[386], 0x45);
        EXPECT_EQ(r.packets[p].sampleCount, 1500u);
    }
}

TEST_F(PacketStream, TheCounterStartsFromZeroAtEveryStream) {
    auto& vi = Linked(Pacing::Manual);
    ASSERT_EQ(SetOutputFunc(3), 0);
    ASSERT_TRUE(vi.WaitForPackets(1, kWait));
    Request(vi, 2);
    ASSERT_EQ(SetOutputFunc(0), 0);
    ASSERT_EQ(SetOutputFunc(2), 0);
    ASSERT_TRUE(vi.WaitForPackets(4, kWait));
    const auto r = vi.Snapshot();
    ASSERT_EQ(r.packets.size(), 4u);
    EXPECT_EQ(r.packets[2].lastCounter, 149);
    EXPECT_TRUE(r.packets[3].streamStart);
    EXPECT_EQ(r.packets[3].firstCounter, 0);
    EXPECT_TRUE(r.violations.empty());
}

struct CodeCase {
    const char* what;
    double value;
    bool highRange, shortSample, baseline;
    double fullScale;
    int high, low;
};

TEST(SampleCode, MappingFlagsAndClamps) {
    const CodeCase cases[] = {
        {"0 V", 0.0, false, false, false, 5.0, 0x08, 0x00},
        {"+full scale", 5.0, false, false, false, 5.0, 0x0F, 0xD0},
        {"-full scale", -5.0, false, false, false, 5.0, 0x00, 0x30},
        {"+full scale of 4.0", 4.0, false, false, false, 4.0, 0x0F, 0xD0},
        {"just below the top", 1.0235 * 5.0 - 1e-9, false, false, false, 5.0, 0x0F, 0xFE},
        {"top", 1.0235 * 5.0, false, false, false, 5.0, 0x0F, 0xFF},
        {"beyond the top", 7.0, false, false, false, 5.0, 0x0F, 0xFF},
        {"bottom", -1.024 * 5.0, false, false, false, 5.0, 0x00, 0x00},
        {"beyond the bottom", -100.0, false, false, false, 5.0, 0x00, 0x00},
        {"truncated toward zero", 0.00124, false, false, false, 5.0, 0x08, 0x00},
        {"high range", -300.0, true, false, false, 5.0, 0x45, 0xA8},
        {"high range top", 1023.5, true, false, false, 5.0, 0x4F, 0xFF},
        {"high range beyond", 5000.0, true, false, false, 5.0, 0x4F, 0xFF},
        {"high range bottom", -1024.0, true, false, false, 5.0, 0x40, 0x00},
        {"short sample", 0.0, false, true, false, 5.0, 0x88, 0x00},
        {"short sample, high range", 700.0, true, true, false, 5.0, 0xCD, 0x78},
        {"baseline-reset test", 2.5, false, false, true, 5.0, 0x4B, 0xE8},
        {"NaN", kNaN, false, false, false, 5.0, 0x08, 0x00},
        {"+infinity", kInf, false, false, false, 5.0, 0x08, 0x00},
        {"-infinity in the high range", -kInf, true, false, false, 5.0, 0x48, 0x00},
    };
    for (const auto& c : cases) {
        const SampleWord w = _CodeSample(c.value, c.highRange, c.shortSample, c.baseline, c.fullScale);
        EXPECT_EQ(w.high, c.high) << c.what;
        EXPECT_EQ(w.low, c.low) << c.what;
    }
}

TEST_F(PacketStream, FullScaleSquareAndClampedRecording) {
    auto& vi = Linked(Pacing::Manual);
    ASSERT_EQ(SetAmplitude(2000.0), 0); // peak 5.0: the full scale
    ASSERT_EQ(SetOutputFunc(3), 0);
    ASSERT_TRUE(vi.WaitForPackets(1, kWait));
    Request(vi, 1);
    ASSERT_EQ(SetAmplitude(-2000.0), 0);
    ASSERT_EQ(SetOutputFunc(0), 0);
    ASSERT_EQ(SetOutputFunc(3), 0);
    ASSERT_TRUE(vi.WaitForPackets(3, kWait));
    ASSERT_EQ(SetOutputFunc(0), 0);

    // A recording beyond the full scale, and values that are not numbers.
    static std::vector<double> recording(1000);
    for (size_t i = 0; i < recording.size(); ++i)
        recording[i] = i < 250 ? 2000.0 : i < 500 ? -2000.0 : i < 750 ? kNaN : kInf;
    LoadRecording(recording, 1000.0, true);
    ASSERT_EQ(SetOutputFunc(7), 0);
    ASSERT_TRUE(vi.WaitForPackets(4, kWait));
    Request(vi, 3); // 1.2 s: one whole second of the recording

    const auto r = vi.Snapshot();
    ASSERT_EQ(r.packets.size(), 7u);
    auto codeOf = [&](size_t packet, size_t i) { return r.samples[r.packets[packet].firstSample + i].code; };
    // 10 Hz square: 250 samples up, 250 down (the boundary samples as the running time falls).
    const OutputClock clock(1500, 0.1);
    for (size_t i = 0; i < 1500; ++i) {
        const bool up = clock.phases[i] < 0.05;
        ASSERT_EQ(codeOf(0, i), up ? 4048 : 48) << i;
        ASSERT_EQ(codeOf(2, i), up ? 48 : 4048) << i; // a negative amplitude inverts the waveform
    }
    // 1000 samples/s: each recorded sample lasts five output samples.
    const OutputClock playClock(5000, 1.0);
    for (size_t s = 0; s < 5000; ++s) {
        const auto recorded = static_cast<size_t>(1000.0 * playClock.phases[s]);
        const int expected = recorded < 250 ? 4095 : recorded < 500 ? 0 : 2048;
        ASSERT_EQ(codeOf(3 + s / 1500, s % 1500), expected) << s;
    }
    for (const auto& sample : r.samples)
        ASSERT_EQ(sample.flags, 0);
}

TEST_F(PacketStream, StaircaseStepsAreFlaggedInTheHighRange) {
    auto& vi = Linked(Pacing::Manual);
    ASSERT_EQ(SetOutputFunc(14), 0);
    ASSERT_TRUE(vi.WaitForPackets(1, kWait));
    Request(vi, 2);
    const auto samples = vi.Samples();
    ASSERT_EQ(samples.size(), 4500u);
    // 10 Hz: a cycle of 500 samples; each starts with a step (when its phase rounds to 0.1 ms tick 0),
    // -300 before 20 s of output.
    const OutputClock clock(samples.size(), 0.1);
    size_t steps = 0;
    for (size_t i = 0; i < samples.size(); ++i) {
        const double tick = std::trunc(0.5 + 10000.0 * clock.phases[i]);
        if (std::fmod(tick, 5000.0) == 0.0) {
            ++steps;
            ASSERT_TRUE(samples[i].HighRange()) << i;
            ASSERT_EQ(samples[i].code, 2048 - 600) << i;
            ASSERT_DOUBLE_EQ(samples[i].value, -300.0) << i;
        } else {
            ASSERT_EQ(samples[i].flags, 0) << i;
            ASSERT_EQ(samples[i].code, 2048) << i;
        }
    }
    EXPECT_GE(steps, 2u);
    EXPECT_TRUE(samples[0].HighRange());
}

TEST_F(PacketStream, ShortSamplesAreFlaggedAndLastHalfAsLong) {
    auto& vi = Linked(Pacing::Manual);
    ASSERT_EQ(SetOutputFunc(3), 0);
    ASSERT_TRUE(vi.WaitForPackets(1, kWait));
    RegisterTimeAmpCB(RecordGraph);
    // The pacing state asks for short samples (with pacing off nothing else touches the flag).
    UnderLock([] { return s_PacingShortPulseNeeded = true; });
    const double timeBefore = UnderLock([] { return g_fOutputTime; });
    Request(vi, 1);
    const double timeAfter = UnderLock([] { return g_fOutputTime; });
    UnderLock([] { return s_PacingShortPulseNeeded = false; });
    Request(vi, 1);

    const auto r = vi.Snapshot();
    ASSERT_EQ(r.packets.size(), 3u);
    EXPECT_NEAR(r.packets[0].seconds, 0.3, 1e-9);
    EXPECT_NEAR(r.packets[1].seconds, 0.15, 1e-9);
    EXPECT_NEAR(r.packets[2].seconds, 0.3, 1e-9);
    EXPECT_NEAR(timeAfter - timeBefore, 0.15, 1e-9);
    for (size_t i = 0; i < 1500; ++i) {
        ASSERT_TRUE(r.samples[r.packets[1].firstSample + i].Short()) << i;
        ASSERT_FALSE(r.samples[r.packets[2].firstSample + i].Short()) << i;
    }
    // The graph time advances with the samples: 0.5 ms per fifth sample, then 1 ms.
    const auto points = GraphPoints().Values();
    ASSERT_EQ(points.size(), 600u);
    EXPECT_NEAR(points[1].first - points[0].first, 0.0005, 1e-12);
    EXPECT_NEAR(points[301].first - points[300].first, 0.001, 1e-12);
}

struct ModelCase {
    const char* name;
    qoltsim::Model model;
    double divisor;
};

class GraphCallback : public PacketStream, public ::testing::WithParamInterface<ModelCase> {};

TEST_P(GraphCallback, EveryFifthSampleScaledByTheModel) {
    qoltsim::Config config;
    config.model = GetParam().model;
    auto& vi = Linked(Pacing::Manual, config);
    RegisterTimeAmpCB(RecordGraph);
    ASSERT_EQ(SetAmplitude(1500.0), 0);
    ASSERT_EQ(SetFrequency(7.0), 0);
    ASSERT_EQ(SetOutputFunc(1), 0);
    ASSERT_TRUE(vi.WaitForPackets(1, kWait));
    Request(vi, 1);
    ASSERT_TRUE(GraphPoints().WaitForCount(600));
    const auto points = GraphPoints().Values();
    const auto samples = vi.Samples();
    ASSERT_EQ(points.size(), 600u);
    ASSERT_EQ(samples.size(), 3000u);
    const double d = GetParam().divisor;
    for (size_t j = 0; j < points.size(); ++j) {
        EXPECT_NEAR(points[j].first, j * 0.001, 1e-9) << j;
        // The instrument's value of the same sample, within one code step.
        EXPECT_NEAR(points[j].second * d, samples[5 * j].value, 5.0 / 2000.0) << j;
    }
    // The enhanced model's gain halves the peak; the display divisor makes up for it.
    double peak = 0.0;
    for (const auto& p : points)
        peak = std::max(peak, std::fabs(p.second));
    EXPECT_NEAR(peak, 0.75, 0.01);
}

INSTANTIATE_TEST_SUITE_P(Stream, GraphCallback,
                         ::testing::Values(ModelCase{"Standard", qoltsim::Model::Standard, 5.0},
                                           ModelCase{"Enhanced", qoltsim::Model::Enhanced, 2.5}),
                         [](const ::testing::TestParamInfo<ModelCase>& info) { return info.param.name; });

TEST_F(PacketStream, ARecordingPlayedOnceEndsWithZerosThenStopsAndReportsOutputOff) {
    auto& vi = Linked(Pacing::Manual);
    RegisterSyncMainFuncCB(RecordMainFunc);
    static std::vector<double> recording(2500, 400.0); // 0.5 s at 5000 samples/s: 2.0 V
    LoadRecording(recording, 5000.0, false);
    ASSERT_EQ(SetOutputFunc(7), 0);
    ASSERT_TRUE(vi.WaitForPackets(1, kWait));
    EXPECT_FALSE(vi.WaitForCommand(MessageKind::StopStream, 1, 100ms));
    ASSERT_TRUE(vi.SendDataRequest(false));
    ASSERT_TRUE(vi.WaitForCommand(MessageKind::StopStream, 1, kWait));
    ASSERT_TRUE(MainFuncSyncs().WaitForCount(1));
    EXPECT_EQ(MainFuncSyncs().Values(), std::vector<int>{0});
    EXPECT_EQ(GetOutputFunc(), 0);

    const auto r = vi.Snapshot();
    ASSERT_EQ(r.totalPackets, 2u);
    EXPECT_FALSE(vi.IsStreaming());
    // The whole recording, then 0 V from the sample where the phase wraps (the running time decides
    // whether that is sample 2500 or the one after).
    const OutputClock clock(3000, 0.5);
    size_t end = 1;
    while (end < 3000 && !(clock.phases[end] < 0.0002))
        ++end;
    ASSERT_TRUE(end == 2500 || end == 2501) << end;
    for (size_t i = 0; i < 3000; ++i)
        ASSERT_EQ(r.samples[i].code, i < end ? 2048 + 800 : 2048) << i;
    // The stop comes after the packet.
    const auto commands = vi.Commands();
    size_t lastPacket = 0, stop = 0;
    for (size_t i = 0; i < commands.size(); ++i) {
        if (commands[i].kind == MessageKind::Packet)
            lastPacket = i;
        if (commands[i].kind == MessageKind::StopStream)
            stop = i;
    }
    EXPECT_GT(stop, lastPacket);
}

TEST_F(PacketStream, ARecordingShorterThanAPacketStillStopsTheStream) {
    // The end is found inside the first packet: the stop follows it.
    auto& vi = Linked(Pacing::Fast);
    RegisterSyncMainFuncCB(RecordMainFunc);
    static std::vector<double> recording(100, -400.0); // 0.1 s at 1000 samples/s
    LoadRecording(recording, 1000.0, false);
    ASSERT_EQ(SetOutputFunc(7), 0);
    ASSERT_TRUE(vi.WaitForCommand(MessageKind::StopStream, 1, kWait));
    EXPECT_EQ(GetOutputFunc(), 0);
    EXPECT_EQ(MainFuncSyncs().Values(), std::vector<int>{0});
    std::this_thread::sleep_for(300ms);
    const auto r = vi.Snapshot();
    EXPECT_EQ(r.totalPackets, 1u);
    EXPECT_FALSE(vi.IsStreaming());
    for (size_t i = 0; i < 1500; ++i)
        ASSERT_EQ(r.samples[i].code, i < 500 ? 2048 - 800 : 2048) << i;
}

TEST_F(PacketStream, PlaybackWithNothingLoadedIsZeroWithAOneSecondCycle) {
    auto& vi = Linked(Pacing::Manual);
    ASSERT_EQ(SetOutputFunc(7), 0);
    ASSERT_TRUE(vi.WaitForPackets(1, kWait));
    EXPECT_DOUBLE_EQ(GetTimePeriod(), 1.0);
    static std::vector<double> empty;
    LoadRecording(empty, 250.0, true);
    ASSERT_EQ(SetOutputFunc(0), 0);
    ASSERT_EQ(SetOutputFunc(7), 0);
    ASSERT_TRUE(vi.WaitForPackets(2, kWait));
    EXPECT_DOUBLE_EQ(GetTimePeriod(), 1.0);
    static std::vector<double> some(10, 100.0);
    LoadRecording(some, 0.0, true);
    ASSERT_EQ(SetOutputFunc(0), 0);
    ASSERT_EQ(SetOutputFunc(7), 0);
    ASSERT_TRUE(vi.WaitForPackets(3, kWait));
    EXPECT_DOUBLE_EQ(GetTimePeriod(), 1.0);
    for (const auto& s : vi.Samples())
        ASSERT_EQ(s.code, 2048);
    EXPECT_TRUE(vi.Snapshot().violations.empty());
}

TEST_F(PacketStream, AStreamAskedForBeforeTheLinkStartsAtLinkUp) {
    qoltsim::Config config;
    config.pacing = Pacing::Manual;
    auto& vi = AddInstrument(config);
    UnderLock([] { return g_Callback = RecordA; });
    ASSERT_EQ(SetOutputFunc(2), 0); // ready through the listener, but no port yet
    EXPECT_FALSE(UnderLock([] { return s_ECGGoing; }));
    ASSERT_TRUE(Init(RecordA));
    ASSERT_TRUE(ListenerA().WaitForCount(1));
    ASSERT_TRUE(vi.WaitForPackets(1, kWait));
    EXPECT_TRUE(vi.Snapshot().packets[0].streamStart);
    Request(vi, 1);
    EXPECT_TRUE(vi.Snapshot().violations.empty());
}

TEST_F(PacketStream, TheOutputStillSelectedRestartsAfterAReplug) {
    auto& vi = Linked(Pacing::Fast);
    ASSERT_EQ(SetDCOffsetVariableMode(true), 0);
    ASSERT_EQ(SetDCOffset(500), 0);
    ASSERT_EQ(SetOutputFunc(1), 0);
    ASSERT_TRUE(vi.WaitForPackets(20, kWait));
    ASSERT_TRUE(vi.Unplug());
    ASSERT_TRUE(ListenerA().WaitForCount(2));
    vi.ClearRecords();
    ASSERT_TRUE(vi.Replug());
    ASSERT_TRUE(ListenerA().WaitForCount(3));
    ASSERT_TRUE(vi.WaitForPackets(20, kWait));
    const auto r = vi.Snapshot();
    EXPECT_TRUE(r.packets[0].streamStart);
    EXPECT_EQ(r.packets[0].firstCounter, 0);
    EXPECT_TRUE(r.violations.empty());
    // The new link hears the relays and the variable offset again, although neither changed.
    EXPECT_EQ(Sent(vi, MessageKind::Relays),
              (std::vector<std::vector<uint8_t>>{{0x07, 0x00, 0x00, 0x21, 0x00, 0x00}}));
    EXPECT_EQ(Sent(vi, MessageKind::VariableDcOffset),
              (std::vector<std::vector<uint8_t>>{{0x05, 0x0B, 0xE8}}));
    EXPECT_EQ(GetOutputFunc(), 1);
}

} // namespace
