// Pacemaker pulses end to end: what the virtual instrument decodes from the stream, the pacing level
// commands of older instruments, and the pulse marker callback.
#include "pacing/PacingStreamSupport.h"

#include "stream/DataRequests.h"
#include "qolt_api.h"

#include <cmath>
#include <string>
#include <vector>

using namespace streamtest;
using namespace pacingtest;
using qoltsim::Pacing;

namespace {

// A stored function without a waveform: 0 V, so that only the pulses show.
constexpr int kFlatOutput = 16;

CallLog<std::pair<double, double>>& Markers() {
    static CallLog<std::pair<double, double>> log;
    return log;
}
void RecordMarker(double t, double v) {
    Markers().Add({t, v});
}

class PacingStream : public StreamFixture {
protected:
    // Pacing settings, then the flat output: the first change sets pacing up and starts the stream.
    qoltsim::VirtualInstrument& Paced(double amplitude, double ms, PacingPulse_E pattern = PacingPulse_Single,
                                      qoltsim::Config config = qoltsim::Config()) {
        auto& vi = Linked(Pacing::Manual, config);
        EXPECT_EQ(SetPacingAmplitude(amplitude), 0);
        EXPECT_EQ(SetPacingDuration(ms), 0);
        EXPECT_EQ(SetPacingPulseMode(pattern), 0);
        EXPECT_EQ(SetOutputFunc(kFlatOutput), 0);
        EXPECT_TRUE(vi.WaitForPackets(1, kWait));
        return vi;
    }
};

// Every pulse of the first `seconds` of output, with no packet fault.
std::vector<DecodedPulse> PulsesOf(qoltsim::VirtualInstrument& vi, double seconds) {
    const auto r = vi.Snapshot();
    EXPECT_TRUE(r.violations.empty());
    std::vector<SampleRecord> samples;
    for (const auto& s : FirstStream(r)) {
        if (s.time < seconds) {
            samples.push_back(s);
        }
    }
    return DecodedPulses(samples);
}

TEST_F(PacingStream, TwoMillisecondPulsesOfOneStartTwentyMillisecondsBeforeEachSecond) {
    auto& vi = Paced(1.0, 2.0);
    Request(vi, 10); // 3.3 s
    const auto pulses = PulsesOf(vi, 3.2);
    ASSERT_EQ(pulses.size(), 3u);
    for (std::size_t k = 0; k < pulses.size(); ++k) {
        EXPECT_NEAR(pulses[k].start, static_cast<double>(k + 1) - 0.02, 1e-9) << k;
        ASSERT_EQ(pulses[k].samples.size(), 10u) << k;
        for (const auto& s : pulses[k].samples) {
            EXPECT_EQ(s.flags, 0);
            EXPECT_EQ(s.range, 5);
            EXPECT_NEAR(s.value, 1.0, 1e-12);
        }
    }
}

TEST_F(PacingStream, HalfMillisecondPulsesEndWithOneFlaggedShortSample) {
    auto& vi = Paced(-1.0, 0.5);
    Request(vi, 10);
    const auto pulses = PulsesOf(vi, 3.2);
    ASSERT_EQ(pulses.size(), 3u);
    for (std::size_t k = 0; k < pulses.size(); ++k) {
        const auto& p = pulses[k];
        ASSERT_EQ(p.samples.size(), 3u) << k;
        EXPECT_EQ(p.Short(), 1u);
        EXPECT_TRUE(p.samples.back().Short());
        double length = 0.0;
        for (const auto& s : p.samples) {
            EXPECT_NEAR(s.value, -1.0, 1e-12);
            EXPECT_FALSE(s.HighRange());
            length += s.Duration();
        }
        EXPECT_NEAR(length, 0.0005, 1e-12);
        // The sample after a short one starts 0.1 ms later; later pulses start within a sample.
        EXPECT_GE(p.start, static_cast<double>(k + 1) - 0.02 - 1e-9);
        EXPECT_LT(p.start, static_cast<double>(k + 1) - 0.02 + 0.000205);
    }
}

TEST_F(PacingStream, LargePulsesGoInTheHighRangeFollowedByAShortZero) {
    auto& vi = Paced(700.0, 2.0);
    Request(vi, 7);
    const auto pulses = PulsesOf(vi, 2.2);
    ASSERT_EQ(pulses.size(), 2u);
    for (const auto& p : pulses) {
        ASSERT_EQ(p.samples.size(), 11u);
        for (std::size_t i = 0; i < 10; ++i) {
            EXPECT_TRUE(p.samples[i].HighRange());
            EXPECT_FALSE(p.samples[i].Short());
            EXPECT_EQ(p.samples[i].code, 2048 + 1400);
            EXPECT_DOUBLE_EQ(p.samples[i].value, 700.0);
        }
        EXPECT_TRUE(p.samples[10].HighRange());
        EXPECT_TRUE(p.samples[10].Short());
        EXPECT_EQ(p.samples[10].code, 2048);
    }
    // The relays switch to the high range while pulses of this size run.
    EXPECT_EQ(vi.RelayPattern() & 0x1u, 0x1u);
}

TEST_F(PacingStream, PairsStartAt083And098OfEverySecond) {
    auto& vi = Paced(1.0, 2.0, PacingPulse_Pair150ms);
    Request(vi, 10);
    const auto pulses = PulsesOf(vi, 3.2);
    ASSERT_EQ(pulses.size(), 6u);
    for (std::size_t k = 0; k < 3; ++k) {
        EXPECT_NEAR(pulses[2 * k].start, static_cast<double>(k) + 0.83, 1e-9) << k;
        EXPECT_NEAR(pulses[2 * k + 1].start, static_cast<double>(k) + 0.98, 1e-9) << k;
    }
}

TEST_F(PacingStream, OvershootFollowsThePulse) {
    auto& vi = Linked(Pacing::Manual);
    ASSERT_EQ(SetPacingAmplitude(2.0), 0);
    ASSERT_EQ(SetOvershootTimeConstant(10), 0);
    ASSERT_EQ(SetOutputFunc(kFlatOutput), 0);
    ASSERT_TRUE(vi.WaitForPackets(1, kWait));
    Request(vi, 4);
    const auto samples = FirstStream(vi.Snapshot());
    std::size_t first = 0;
    while (first < samples.size() && samples[first].value < 1.5) {
        ++first;
    }
    ASSERT_LT(first + 30, samples.size());
    EXPECT_NEAR(samples[first].time, 0.98, 1e-9);
    // One code is 5.0/2000 = 0.0025; the code is truncated toward zero.
    const double code = 0.0025 + 1e-9;
    for (std::size_t j = 0; j < 20; ++j) {
        const double expected = -0.5 * std::exp(-(2.0 * static_cast<double>(j) / 10000.0) / 0.01);
        EXPECT_NEAR(samples[first + 10 + j].value, expected, code) << j;
    }
}

TEST_F(PacingStream, TriangularPulseIsDelayedTenMilliseconds) {
    auto& vi = Linked(Pacing::Manual);
    ASSERT_EQ(SetAmplitude(1000.0), 0); // peak 2.5
    ASSERT_EQ(SetPulseWidth(20.0), 0);
    // Stream 0 without pacing, stream 1 with it; each stopped once its first packet is out.
    for (double pacing : {0.0, 1.0}) {
        ASSERT_EQ(SetOutputFunc(0), 0);
        ASSERT_EQ(SetPacingAmplitude(pacing), 0);
        ASSERT_EQ(SetOutputFunc(5), 0);
        ASSERT_TRUE(vi.WaitForPackets(pacing == 0.0 ? 1 : 2, kWait));
    }
    const auto r = vi.Snapshot();
    ASSERT_EQ(r.packets.size(), 2u);
    for (std::size_t stream = 0; stream < 2; ++stream) {
        const auto& p = r.packets[stream];
        ASSERT_EQ(p.stream - r.packets[0].stream, static_cast<int>(stream));
        const SampleRecord* samples = &r.samples[p.firstSample];
        // The rise starts at the delay: 10 ms is sample 50. The peak comes 10 ms into the pulse.
        const std::size_t rise = stream == 1 ? 50 : 0;
        for (std::size_t i = 0; i < rise; ++i) {
            EXPECT_NEAR(samples[i].value, -2.5, 0.003) << stream << " " << i;
        }
        EXPECT_NEAR(samples[rise + 1].value, -2.4, 0.003) << stream; // 4A/W per second
        EXPECT_NEAR(samples[rise + 50].value, 2.5, 0.003) << stream;
        EXPECT_NEAR(samples[rise + 100].value, -2.5, 0.003) << stream;
    }
}

TEST_F(PacingStream, MarkerCallbackDrawsFourPointsPerPulse) {
    RegisterPacingTimeAmpCB(RecordMarker);
    auto& vi = Paced(1.5, 2.0, PacingPulse_Pair250ms);
    Request(vi, 7); // 2.4 s: pulses at 0.73, 0.98, 1.73, 1.98
    ASSERT_TRUE(Markers().WaitForCount(16));
    const auto points = Markers().Values();
    ASSERT_EQ(points.size(), 16u);
    const double starts[] = {0.73, 0.98, 1.73, 1.98};
    for (std::size_t k = 0; k < 4; ++k) {
        const double tg = starts[k];
        EXPECT_NEAR(points[4 * k + 0].first, tg, 1e-9);
        EXPECT_EQ(points[4 * k + 0].second, 0.0);
        EXPECT_NEAR(points[4 * k + 1].first, tg, 1e-9);
        EXPECT_EQ(points[4 * k + 1].second, 1.5);
        EXPECT_NEAR(points[4 * k + 2].first, tg + 0.01, 1e-9);
        EXPECT_EQ(points[4 * k + 2].second, 1.5);
        EXPECT_NEAR(points[4 * k + 3].first, tg + 0.01, 1e-9);
        EXPECT_EQ(points[4 * k + 3].second, 0.0);
    }
}

// The level command an older instrument gets at each change with pacing on.
struct LevelRow {
    double amplitude;
    qoltsim::MessageKind kind;
    std::vector<uint8_t> bytes;
};

TEST_F(PacingStream, OlderInstrumentsGetTheLevelCommandByteExact) {
    const std::vector<LevelRow> rows = {
        {1.0, MessageKind::PacingLevelLow, {0x09, 0x0B, 0x2A}},     // 2858
        {-2.0, MessageKind::PacingLevelLow, {0x09, 0x01, 0xAB}},    // 2048 - 1620.8 = 427.2
        {2.9, MessageKind::PacingLevelLow, {0x09, 0x0F, 0xFF}},     // 4398 limited to 4095
        {-2.9, MessageKind::PacingLevelLow, {0x09, 0x00, 0x00}},    // -302 limited to 0
        {3.0, MessageKind::PacingLevelHigh, {0x04, 0x08, 0x08}},    // 2056
        {700.0, MessageKind::PacingLevelHigh, {0x04, 0x0F, 0xD0}},  // 4048
        {-700.0, MessageKind::PacingLevelHigh, {0x04, 0x00, 0x30}}, // 48
    };
    auto& vi = Linked(Pacing::Manual);
    ASSERT_FALSE(IsVersion4());
    ASSERT_EQ(SetPacingAmplitude(rows[0].amplitude), 0);
    ASSERT_EQ(SetOutputFunc(kFlatOutput), 0);
    ASSERT_TRUE(vi.WaitForPackets(1, kWait));
    for (std::size_t i = 1; i < rows.size(); ++i) {
        ASSERT_EQ(SetPacingAmplitude(rows[i].amplitude), 0);
        // Taken at the end of the 0.1 s cycle, inside the next packet.
        Request(vi, 1);
    }
    std::vector<std::vector<uint8_t>> levels;
    std::size_t firstPacket = 0;
    std::size_t firstLevel = 0;
    const auto commands = vi.Commands();
    for (std::size_t i = 0; i < commands.size(); ++i) {
        const auto& c = commands[i];
        if (c.kind == MessageKind::PacingLevelLow || c.kind == MessageKind::PacingLevelHigh) {
            EXPECT_EQ(c.kind, rows[levels.size()].kind) << levels.size();
            levels.push_back(c.bytes);
            firstLevel = firstLevel == 0 ? i + 1 : firstLevel;
        }
        if (c.kind == MessageKind::Packet && firstPacket == 0) {
            firstPacket = i + 1;
        }
    }
    ASSERT_EQ(levels.size(), rows.size());
    for (std::size_t i = 0; i < rows.size(); ++i) {
        EXPECT_EQ(levels[i], rows[i].bytes) << rows[i].amplitude;
    }
    // The level is set before the stream's first packet.
    EXPECT_LT(firstLevel, firstPacket);
}

TEST_F(PacingStream, VersionFourInstrumentsGetNoLevelCommand) {
    qoltsim::Config config;
    config.versionReportAfterIdentification = "4000002";
    auto& vi = Linked(Pacing::Manual, config);
    ASSERT_TRUE(Eventually([] { return IsVersion4(); }));
    ASSERT_EQ(SetPacingAmplitude(1.0), 0);
    ASSERT_EQ(SetOutputFunc(kFlatOutput), 0);
    ASSERT_TRUE(vi.WaitForPackets(1, kWait));
    ASSERT_EQ(SetPacingAmplitude(700.0), 0);
    Request(vi, 4);
    const auto r = vi.Snapshot();
    EXPECT_EQ(r.CountCommands(MessageKind::PacingLevelLow), 0u);
    EXPECT_EQ(r.CountCommands(MessageKind::PacingLevelHigh), 0u);
    // The pulses are in the samples all the same.
    const auto pulses = PulsesOf(vi, 1.5);
    ASSERT_EQ(pulses.size(), 1u);
    EXPECT_DOUBLE_EQ(pulses[0].samples.front().value, 700.0);
}

} // namespace
