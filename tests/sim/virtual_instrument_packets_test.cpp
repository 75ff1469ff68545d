// Sample packets: validation, decoding, framing after faults, pacing of data requests, reports.
#include "RawPort.h"

#include "sim/PacketDecoder.h"
#include "sim/VirtualInstrument.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>

using namespace std::chrono_literals;
using qoltsim::Config;
using qoltsim::EventKind;
using qoltsim::MessageKind;
using qoltsim::Pacing;
using qoltsim::ViolationKind;
using qoltsim::VirtualInstrument;
using rawport::B;
using rawport::Bytes;
using rawport::RawPort;

namespace {

struct Sample {
    uint16_t code = 2048;
    uint8_t flags = 0;
};
using SampleFn = std::function<Sample(size_t index)>;

// A packet built from the wire format: 50 sub-packets of head 01, counter, 00, 00 and 30 samples (high byte
// with flags first), "E" at 386.
Bytes MakePacket(
    uint8_t firstCounter, const SampleFn& sample = [](size_t) { return Sample{}; }) {
    Bytes p(3200, 0);
    for (size_t k = 0; k < 50; ++k) {
        p[64 * k] = 0x01;
        p[64 * k + 1] = static_cast<uint8_t>(firstCounter + k);
        for (size_t s = 0; s < 30; ++s) {
            const Sample v = sample(30 * k + s);
            p[64 * k + 4 + 2 * s] = static_cast<uint8_t>((v.code >> 8) | v.flags);
            p[64 * k + 5 + 2 * s] = static_cast<uint8_t>(v.code & 0xFF);
        }
    }
    p[386] = 'E';
    return p;
}

Config MakeConfig(const qoltsim::TempDir& dir, Pacing pacing = Pacing::Manual) {
    Config c;
    c.directory = dir.Path();
    c.pacing = pacing;
    c.messageTimeout = 200ms;
    return c;
}

struct Rig {
    explicit Rig(Pacing pacing = Pacing::Manual) : vi(MakeConfig(dir, pacing)) {
        started = vi.Start();
        if (started) {
            port = std::make_unique<RawPort>(vi.NodePath());
        }
    }
    explicit Rig(const std::function<void(Config&)>& adjust) : vi(Adjusted(adjust)) {
        started = vi.Start();
        if (started) {
            port = std::make_unique<RawPort>(vi.NodePath());
        }
    }
    Config Adjusted(const std::function<void(Config&)>& adjust) {
        Config c = MakeConfig(dir);
        adjust(c);
        return c;
    }
    qoltsim::TempDir dir;
    VirtualInstrument vi;
    bool started = false;
    std::unique_ptr<RawPort> port;
};

std::string Describe(const std::vector<qoltsim::PacketViolation>& violations) {
    std::string text;
    for (const auto& v : violations) {
        text += std::string(qoltsim::ViolationKindName(v.kind)) + "@" + std::to_string(v.packet) + ":" +
                std::to_string(v.offset) + "(" + std::to_string(v.expected) + "/" + std::to_string(v.actual) +
                ") ";
    }
    return text;
}

} // namespace

TEST(VirtualInstrumentPackets, AValidPacketIsDecodedSampleBySample) {
    Rig rig;
    ASSERT_TRUE(rig.started);
    const Bytes packet = MakePacket(0, [](size_t i) {
        return Sample{static_cast<uint16_t>((i * 7) % 4096), 0};
    });
    ASSERT_TRUE(rig.port->Write(packet));
    ASSERT_TRUE(rig.vi.WaitForPackets(1, 3s));
    const auto r = rig.vi.Snapshot();
    EXPECT_TRUE(r.violations.empty()) << Describe(r.violations);
    ASSERT_EQ(r.packets.size(), 1u);
    const auto& p = r.packets[0];
    EXPECT_TRUE(p.complete);
    EXPECT_TRUE(p.streamStart);
    EXPECT_EQ(p.stream, 0);
    EXPECT_EQ(p.size, 3200u);
    EXPECT_EQ(p.firstCounter, 0);
    EXPECT_EQ(p.lastCounter, 49);
    EXPECT_EQ(p.sampleCount, 1500u);
    EXPECT_NEAR(p.seconds, 0.3, 1e-9);
    EXPECT_EQ(p.bytes, packet);
    ASSERT_EQ(r.samples.size(), 1500u);
    for (size_t i = 0; i < r.samples.size(); ++i) {
        const auto& s = r.samples[i];
        ASSERT_EQ(s.code, (i * 7) % 4096) << i;
        ASSERT_EQ(s.flags, 0) << i;
        ASSERT_DOUBLE_EQ(s.value, (static_cast<double>(s.code) - 2048.0) * 5.0 / 2000.0) << i;
        ASSERT_NEAR(s.time, 0.0002 * static_cast<double>(i), 1e-9) << i;
        ASSERT_DOUBLE_EQ(s.Duration(), 0.0002);
        ASSERT_EQ(s.packet, 0u);
    }
    ASSERT_EQ(r.commands.size(), 1u);
    EXPECT_EQ(r.commands[0].kind, MessageKind::Packet);
    EXPECT_EQ(r.commands[0].packet, 0);
    EXPECT_EQ(r.CountEvents(EventKind::StreamStarted), 1u);
}

TEST(VirtualInstrumentPackets, SampleValuesAndDurations) {
    struct Case {
        uint8_t range;
        uint16_t code;
        uint8_t flags;
        double value;
        double duration;
    } cases[] = {
        {5, 2048, 0x00, 0.0, 0.0002},    {5, 4048, 0x00, 5.0, 0.0002},   {5, 48, 0x00, -5.0, 0.0002},
        {5, 4095, 0x00, 5.1175, 0.0002}, {5, 0, 0x00, -5.12, 0.0002},    {4, 4048, 0x00, 4.0, 0.0002},
        {4, 1048, 0x00, -2.0, 0.0002},   {5, 3448, 0x40, 700.0, 0.0002}, {4, 4095, 0x40, 1023.5, 0.0002},
        {5, 2048, 0x40, 0.0, 0.0002},    {5, 4048, 0x80, 5.0, 0.0001},   {5, 3448, 0xC0, 700.0, 0.0001},
    };
    for (const auto& c : cases) {
        EXPECT_NEAR(qoltsim::DecodeSampleValue(c.code, c.flags, c.range), c.value, 1e-12) << c.code;
    }
    // The same through the port, with the range set by a range command before each packet.
    Rig rig(Pacing::Fast);
    ASSERT_TRUE(rig.started);
    uint8_t counter = 0;
    for (const auto& c : cases) {
        ASSERT_TRUE(rig.port->Write({0x00, c.range}));
        ASSERT_TRUE(rig.port->Write(MakePacket(counter, [&](size_t) { return Sample{c.code, c.flags}; })));
        counter = static_cast<uint8_t>(counter + 50);
    }
    ASSERT_TRUE(rig.vi.WaitForPackets(std::size(cases), 3s));
    const auto r = rig.vi.Snapshot();
    EXPECT_TRUE(r.violations.empty()) << Describe(r.violations);
    double time = 0.0;
    for (size_t n = 0; n < std::size(cases); ++n) {
        const auto& c = cases[n];
        const auto& p = r.packets[n];
        EXPECT_NEAR(p.seconds, 1500 * c.duration, 1e-9) << n;
        for (size_t i = p.firstSample; i < p.firstSample + p.sampleCount; ++i) {
            const auto& s = r.samples[i];
            ASSERT_NEAR(s.value, c.value, 1e-12) << n;
            ASSERT_EQ(s.range, c.range);
            ASSERT_EQ(s.HighRange(), (c.flags & 0x40) != 0);
            ASSERT_EQ(s.Short(), (c.flags & 0x80) != 0);
            ASSERT_NEAR(s.time, time, 1e-9) << "stream time runs on across packets";
            time += c.duration;
        }
    }
}

// Each row spoils one thing in the second packet of a stream; the third packet is clean again and must not
// add anything: the instrument stays in step.
TEST(VirtualInstrumentPackets, ViolationsAreFoundAndTheStreamStaysInStep) {
    struct Case {
        const char* name;
        uint8_t first; // counter of the first packet
        std::function<void(Bytes&)> spoil;
        std::vector<std::tuple<ViolationKind, size_t, int, int>> expect; // in the second packet
        int thirdCounterShift; // the clean third packet continues from the spoiled one
    } cases[] = {
        {"clean", 0, [](Bytes&) {}, {}, 0},
        {"counters wrap", 230, [](Bytes&) {}, {}, 0},
        {"counter jump across packets",
         0,
         [](Bytes& p) {
             for (size_t k = 0; k < 50; ++k) {
                 p[64 * k + 1] = static_cast<uint8_t>(p[64 * k + 1] + 1);
             }
         },
         {{ViolationKind::Counter, 1, 50, 51}},
         1},
        {"counter glitch inside",
         0,
         [](Bytes& p) { p[64 * 20 + 1] = 0x99; },
         {{ViolationKind::Counter, 64 * 20 + 1, 70, 0x99}, {ViolationKind::Counter, 64 * 21 + 1, 0x9A, 71}},
         0},
        {"marker missing", 0, [](Bytes& p) { p[386] = 0x00; }, {{ViolationKind::Marker, 386, 'E', 0}}, 0},
        {"marker elsewhere", 0, [](Bytes& p) { p[2] = 'E'; }, {{ViolationKind::HeadPadding, 2, 0, 'E'}}, 0},
        {"head byte wrong", 0, [](Bytes& p) { p[640] = 0x02; }, {{ViolationKind::Head, 640, 1, 2}}, 0},
        {"head padding",
         0,
         [](Bytes& p) { p[64 * 3 + 3] = 0x10; },
         {{ViolationKind::HeadPadding, 195, 0, 0x10}},
         0},
        {"reserved bits",
         0,
         [](Bytes& p) { p[64 * 5 + 4 + 2 * 7] |= 0x20; },
         {{ViolationKind::ReservedBits, 64 * 5 + 4 + 14, 0x08, 0x28}},
         0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Rig rig(Pacing::Fast);
        ASSERT_TRUE(rig.started);
        const uint8_t second = static_cast<uint8_t>(c.first + 50);
        Bytes spoiled = MakePacket(second);
        c.spoil(spoiled);
        ASSERT_TRUE(rig.port->Write(MakePacket(c.first)));
        ASSERT_TRUE(rig.port->Write(spoiled));
        ASSERT_TRUE(rig.port->Write(MakePacket(static_cast<uint8_t>(second + 50 + c.thirdCounterShift))));
        ASSERT_TRUE(rig.vi.WaitForPackets(3, 3s));
        const auto r = rig.vi.Snapshot();
        ASSERT_EQ(r.packets.size(), 3u);
        for (const auto& p : r.packets) {
            EXPECT_TRUE(p.complete);
            EXPECT_EQ(p.sampleCount, 1500u);
        }
        ASSERT_EQ(r.violations.size(), c.expect.size()) << Describe(r.violations);
        for (size_t i = 0; i < c.expect.size(); ++i) {
            const auto& v = r.violations[i];
            EXPECT_EQ(v.packet, 1);
            EXPECT_EQ(v.kind, std::get<0>(c.expect[i])) << Describe(r.violations);
            EXPECT_EQ(v.offset, std::get<1>(c.expect[i])) << Describe(r.violations);
            EXPECT_EQ(v.expected, std::get<2>(c.expect[i])) << Describe(r.violations);
            EXPECT_EQ(v.actual, std::get<3>(c.expect[i])) << Describe(r.violations);
        }
        EXPECT_EQ(r.packets[2].firstCounter, static_cast<uint8_t>(second + 50 + c.thirdCounterShift));
    }
}

// Bytes lost from a packet cost one record: the packets after it are framed on their own heads, and no
// sample byte is ever read as a command.
TEST(VirtualInstrumentPackets, ACutPacketDoesNotDesynchroniseTheStream) {
    const Bytes a = MakePacket(0);
    auto slice = [&](size_t from, size_t to) { return Bytes(a.begin() + from, a.begin() + to); };
    Bytes stray = MakePacket(0xFF);
    stray.resize(64);
    struct Case {
        const char* name;
        Bytes first; // what arrives before the clean packets with counters 50, 100, 150
        size_t size; // of the record for it
        size_t samples;
    } cases[] = {
        {"cut inside a sub-packet", slice(0, 1000), 1000, 15 * 30},
        {"cut at a sub-packet boundary", slice(0, 640), 640, 10 * 30},
        {"cut in the last sub-packet", slice(0, 3180), 3180, 49 * 30},
        {"last byte lost", slice(0, 3199), 3199, 49 * 30},
        {"cut, then a command",
         [&] {
             Bytes b = slice(0, 1000);
             b.push_back(0x00);
             b.push_back(0x04);
             return b;
         }(),
         1002, 15 * 30},
        {"cut in the first head", slice(0, 1), 1, 0},
        {"first sub-packet lost", slice(64, 3200), 3136, 49 * 30},
        {"first three sub-packets lost", slice(192, 3200), 3008, 47 * 30},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Rig rig(Pacing::Fast);
        ASSERT_TRUE(rig.started);
        Bytes stream = c.first;
        for (uint8_t first : {50, 100, 150}) {
            const Bytes next = MakePacket(first);
            stream.insert(stream.end(), next.begin(), next.end());
        }
        ASSERT_TRUE(rig.port->Write(stream));
        ASSERT_TRUE(rig.vi.WaitForPackets(4, 3s));
        const auto r = rig.vi.Snapshot();
        ASSERT_EQ(r.packets.size(), 4u);
        EXPECT_FALSE(r.packets[0].complete);
        EXPECT_EQ(r.packets[0].size, c.size);
        EXPECT_EQ(r.packets[0].sampleCount, c.samples);
        for (size_t i = 1; i < 4; ++i) {
            EXPECT_TRUE(r.packets[i].complete) << i;
            EXPECT_EQ(r.packets[i].firstCounter, 50 * i) << i;
            EXPECT_EQ(r.packets[i].sampleCount, 1500u) << i;
        }
        EXPECT_EQ(r.CountViolations(ViolationKind::Truncated), 1u) << Describe(r.violations);
        EXPECT_EQ(r.violations.front().kind, ViolationKind::Truncated);
        EXPECT_EQ(r.violations.front().packet, 0);
        // The missing sub-packets show at most as one counter jump into the next packet, nothing after it.
        for (const auto& v : r.violations) {
            EXPECT_LE(v.packet, 1) << Describe(r.violations);
        }
        EXPECT_EQ(r.samples.size(), c.samples + 3 * 1500);
        EXPECT_EQ(r.CountCommands(MessageKind::Range), 0u) << "no sample bytes read as commands";
        EXPECT_EQ(rig.vi.Range(), 5);
        // The cut packet asked for nothing; each whole one drew one request.
        EXPECT_EQ(rig.port->Read(3), B("NNN"));
        EXPECT_TRUE(rig.port->ReadAll(50ms).empty());
    }
}

// One sub-packet too many before a packet: it is recorded as a cut packet of its own.
TEST(VirtualInstrumentPackets, AStraySubPacketIsFramedApart) {
    for (uint8_t strayCounter : {0xFF, 0x20}) {
        SCOPED_TRACE(static_cast<int>(strayCounter));
        Rig rig(Pacing::Fast);
        ASSERT_TRUE(rig.started);
        Bytes stream = MakePacket(strayCounter);
        stream.resize(64);
        for (uint8_t first : {0, 50}) {
            const Bytes next = MakePacket(first);
            stream.insert(stream.end(), next.begin(), next.end());
        }
        ASSERT_TRUE(rig.port->Write(stream));
        ASSERT_TRUE(rig.vi.WaitForPackets(3, 3s));
        const auto r = rig.vi.Snapshot();
        ASSERT_EQ(r.packets.size(), 3u);
        EXPECT_FALSE(r.packets[0].complete);
        EXPECT_EQ(r.packets[0].size, 64u);
        EXPECT_EQ(r.packets[0].sampleCount, 30u);
        EXPECT_TRUE(r.packets[1].complete);
        EXPECT_EQ(r.packets[1].firstCounter, 0);
        EXPECT_TRUE(r.packets[2].complete);
        EXPECT_EQ(r.CountViolations(ViolationKind::Truncated), 1u) << Describe(r.violations);
        EXPECT_EQ(r.CountViolations(ViolationKind::Marker), 0u) << Describe(r.violations);
    }
}

TEST(VirtualInstrumentPackets, APacketArrivingInPiecesIsOnePacket) {
    for (size_t piece : {1, 5, 64, 100, 1601}) {
        SCOPED_TRACE(piece);
        Rig rig(Pacing::Fast);
        ASSERT_TRUE(rig.started);
        Bytes stream = MakePacket(0, [](size_t i) { return Sample{static_cast<uint16_t>(i), 0}; });
        const Bytes second = MakePacket(50);
        stream.insert(stream.end(), second.begin(), second.end());
        stream.push_back('S');
        for (size_t at = 0; at < stream.size(); at += piece) {
            ASSERT_TRUE(rig.port->Write(
                Bytes(stream.begin() + at, stream.begin() + std::min(stream.size(), at + piece))));
        }
        ASSERT_TRUE(rig.vi.WaitForCommand(MessageKind::StopStream, 1, 5s));
        const auto r = rig.vi.Snapshot();
        ASSERT_EQ(r.packets.size(), 2u);
        EXPECT_TRUE(r.packets[0].complete);
        EXPECT_TRUE(r.packets[1].complete);
        EXPECT_TRUE(r.violations.empty()) << Describe(r.violations);
        EXPECT_EQ(r.samples[1499].code, 1499);
        EXPECT_FALSE(rig.vi.IsStreaming());
    }
}

TEST(VirtualInstrumentPacing, FastAnswersEachPacketWithOneRequest) {
    Rig rig(Pacing::Fast);
    ASSERT_TRUE(rig.started);
    uint8_t counter = 0;
    for (int i = 0; i < 20; ++i) {
        ASSERT_TRUE(rig.port->Write(MakePacket(counter)));
        counter = static_cast<uint8_t>(counter + 50);
        ASSERT_EQ(rig.port->Read(1), B("N")) << i;
    }
    ASSERT_TRUE(rig.port->Write({'S'}));
    ASSERT_TRUE(rig.vi.WaitForCommand(MessageKind::StopStream, 1, 2s));
    EXPECT_FALSE(rig.vi.IsStreaming());
    EXPECT_TRUE(rig.port->ReadAll(50ms).empty());
    // A new stream starts with an unasked packet whose counter starts afresh.
    ASSERT_TRUE(rig.port->Write(MakePacket(0)));
    EXPECT_EQ(rig.port->Read(1), B("N"));
    const auto r = rig.vi.Snapshot();
    EXPECT_TRUE(r.violations.empty()) << Describe(r.violations);
    EXPECT_EQ(r.CountEvents(EventKind::StreamStarted), 2u);
    EXPECT_EQ(r.CountEvents(EventKind::StreamStopped), 1u);
    EXPECT_TRUE(r.packets.back().streamStart);
    EXPECT_EQ(r.packets.back().stream, 1);
    EXPECT_EQ(r.samples.back().time, r.samples[1499].time) << "stream time restarts";
}

// Taken piece by piece, the recording keeps its indices and totals of the whole run and loses nothing.
TEST(VirtualInstrumentRecording, TakeRecordsMovesTheListsOutAndTheTotalsCountOn) {
    Rig rig(Pacing::Fast);
    ASSERT_TRUE(rig.started);
    uint8_t counter = 0;
    std::vector<qoltsim::Recording> takes;
    for (int i = 0; i < 6; ++i) {
        ASSERT_TRUE(rig.port->Write(MakePacket(counter)));
        counter = static_cast<uint8_t>(counter + 50);
        ASSERT_EQ(rig.port->Read(1), B("N")) << i;
        if (i % 2 == 1)
            takes.push_back(rig.vi.TakeRecords());
    }
    EXPECT_EQ(rig.vi.TotalPackets(), 6u);
    EXPECT_TRUE(rig.vi.Snapshot().packets.empty());
    for (size_t t = 0; t < takes.size(); ++t) {
        const auto& r = takes[t];
        SCOPED_TRACE(t);
        ASSERT_EQ(r.packets.size(), 2u);
        EXPECT_EQ(r.packets[0].index, static_cast<int64_t>(2 * t));
        EXPECT_EQ(r.packets[1].firstSample, (2 * t + 1) * 1500);
        EXPECT_EQ(r.samples.size(), 3000u);
        EXPECT_EQ(r.samples.front().packet, 2 * t);
        EXPECT_EQ(r.totalPackets, 2 * t + 2);
        EXPECT_TRUE(r.violations.empty()) << Describe(r.violations);
    }
}

TEST(VirtualInstrumentPacing, ManualSendsOnlyWhatTheTestAsks) {
    Rig rig(Pacing::Manual);
    ASSERT_TRUE(rig.started);
    ASSERT_TRUE(rig.port->Write(MakePacket(0)));
    ASSERT_TRUE(rig.vi.WaitForPackets(1, 2s));
    EXPECT_TRUE(rig.port->ReadAll(50ms).empty());
    ASSERT_TRUE(rig.vi.SendDataRequest());
    EXPECT_EQ(rig.port->Read(1), B("N"));
    ASSERT_TRUE(rig.port->Write(MakePacket(50)));
    ASSERT_TRUE(rig.port->Write(MakePacket(100))); // not asked for
    ASSERT_TRUE(rig.vi.WaitForPackets(3, 2s));
    const auto r = rig.vi.Snapshot();
    ASSERT_EQ(r.violations.size(), 1u) << Describe(r.violations);
    EXPECT_EQ(r.violations[0].kind, ViolationKind::Unrequested);
    EXPECT_EQ(r.violations[0].packet, 2);
}

// Real time: a buffer of two packets; the first draws a request at once, the second fills the buffer, and
// the next request comes only when the playing packet is done. Left alone the buffer runs dry.
TEST(VirtualInstrumentPacing, RealTimeKeepsTwoPacketsBuffered) {
    Rig rig(Pacing::RealTime);
    ASSERT_TRUE(rig.started);
    ASSERT_TRUE(rig.port->Write(MakePacket(0)));
    EXPECT_EQ(rig.port->Read(1), B("N"));
    ASSERT_TRUE(rig.port->Write(MakePacket(50)));
    ASSERT_TRUE(rig.vi.WaitForPackets(2, 2s));
    EXPECT_TRUE(rig.port->ReadAll(100ms).empty())
        << "both buffers full: no request before a packet is played";
    EXPECT_EQ(rig.port->Read(1, 3s), B("N")) << "the first packet played out";
    ASSERT_TRUE(rig.port->Write(MakePacket(100)));
    ASSERT_TRUE(rig.vi.WaitForPackets(3, 2s));
    // No more packets: two more requests as the buffers empty, then an underrun.
    EXPECT_EQ(rig.port->Read(2, 3s), B("NN"));
    ASSERT_TRUE(rig.vi.WaitFor(
        [](const qoltsim::Recording& r) { return r.CountEvents(EventKind::Underrun) == 1; }, 3s));
    const auto r = rig.vi.Snapshot();
    EXPECT_TRUE(r.violations.empty()) << Describe(r.violations);
    // Requests follow the play clock (0.3 s of samples per packet) and never come sooner; these are lower
    // bounds only, which a slow machine cannot break.
    const auto requests = rig.vi.Sent();
    ASSERT_EQ(requests.size(), 4u);
    EXPECT_GE(requests[1].time - r.packets[0].time, 299ms);
    EXPECT_GE(requests[2].time - r.packets[0].time, 599ms);
    EXPECT_GE(requests[3].time - r.packets[0].time, 899ms);
    EXPECT_GE(r.events.back().time - r.packets[0].time, 899ms) << "three packets of 0.3 s played";

    // The two requests of the emptied buffers are answered together: the first packet back asks for
    // nothing more (both buffers are spoken for), so no answer can overrun; the next request comes when it
    // has played.
    Bytes two = MakePacket(150);
    const Bytes second = MakePacket(200);
    two.insert(two.end(), second.begin(), second.end());
    ASSERT_TRUE(rig.port->Write(two));
    ASSERT_TRUE(rig.vi.WaitForPackets(5, 2s));
    EXPECT_EQ(rig.port->Read(1, 3s), B("N"));
    const auto after = rig.vi.Snapshot();
    ASSERT_EQ(after.sent.size(), 5u);
    EXPECT_GE(after.sent.back().time - after.packets[3].time, 299ms);
    EXPECT_EQ(after.CountViolations(ViolationKind::Overrun), 0u) << Describe(after.violations);
}

TEST(VirtualInstrumentPacing, RealTimeShortSamplesPlayInHalfTheTime) {
    Rig rig(Pacing::RealTime);
    ASSERT_TRUE(rig.started);
    ASSERT_TRUE(rig.port->Write(MakePacket(0, [](size_t) { return Sample{2048, 0x80}; })));
    ASSERT_TRUE(rig.vi.WaitFor(
        [](const qoltsim::Recording& r) { return r.CountEvents(EventKind::Underrun) == 1; }, 3s));
    const auto r = rig.vi.Snapshot();
    EXPECT_NEAR(r.packets[0].seconds, 0.15, 1e-9);
    EXPECT_GE(r.events.back().time - r.packets[0].time, 145ms);
}

TEST(VirtualInstrumentPacing, RealTimeOverrunIsRecorded) {
    Rig rig(Pacing::RealTime);
    ASSERT_TRUE(rig.started);
    Bytes three = MakePacket(0);
    for (uint8_t first : {50, 100}) {
        const Bytes p = MakePacket(first);
        three.insert(three.end(), p.begin(), p.end());
    }
    ASSERT_TRUE(rig.port->Write(three));
    ASSERT_TRUE(rig.vi.WaitForPackets(3, 2s));
    const auto r = rig.vi.Snapshot();
    EXPECT_EQ(r.CountViolations(ViolationKind::Overrun), 1u) << Describe(r.violations);
    EXPECT_EQ(r.CountViolations(ViolationKind::Unrequested), 1u) << Describe(r.violations);
}

TEST(VirtualInstrumentPacing, StopAndCloseEndTheStreamAndItsRequests) {
    for (uint8_t stop : {'S', 'C'}) {
        Rig rig(Pacing::RealTime);
        ASSERT_TRUE(rig.started);
        ASSERT_TRUE(rig.port->Write(MakePacket(0)));
        EXPECT_EQ(rig.port->Read(1), B("N"));
        ASSERT_TRUE(rig.port->Write({stop}));
        ASSERT_TRUE(rig.vi.WaitFor(
            [](const qoltsim::Recording& r) { return r.CountEvents(EventKind::StreamStopped) == 1; }, 2s));
        EXPECT_TRUE(rig.port->ReadAll(450ms).empty()) << "no request once stopped";
        EXPECT_EQ(rig.vi.Snapshot().CountEvents(EventKind::Underrun), 0u);
    }
}

TEST(VirtualInstrumentPacing, PacingCanChangeWhileRunning) {
    Rig rig(Pacing::Manual);
    ASSERT_TRUE(rig.started);
    ASSERT_TRUE(rig.port->Write(MakePacket(0)));
    ASSERT_TRUE(rig.vi.WaitForPackets(1, 2s));
    EXPECT_TRUE(rig.port->ReadAll(30ms).empty());
    rig.vi.SetPacing(Pacing::Fast);
    EXPECT_EQ(rig.vi.GetPacing(), Pacing::Fast);
    ASSERT_TRUE(rig.vi.SendDataRequest());
    EXPECT_EQ(rig.port->Read(1), B("N"));
    ASSERT_TRUE(rig.port->Write(MakePacket(50)));
    EXPECT_EQ(rig.port->Read(1), B("N"));
}

TEST(VirtualInstrumentPacing, SilenceStopsRequests) {
    Rig rig(Pacing::Fast);
    ASSERT_TRUE(rig.started);
    rig.vi.SetSilent(true);
    ASSERT_TRUE(rig.port->Write(MakePacket(0)));
    ASSERT_TRUE(rig.vi.WaitForPackets(1, 2s));
    EXPECT_TRUE(rig.port->ReadAll(50ms).empty());
}

TEST(VirtualInstrumentReports, ReportsOnDemand) {
    struct Case {
        qoltsim::Report report;
        std::string payload;
        Bytes expect;
        const char* what;
    } cases[] = {
        {qoltsim::Report::DataRequest, "", B("N"), "request"},
        {qoltsim::Report::ErrorRequest, "", B("NX"), "error-request"},
        {qoltsim::Report::Version, "", B("4000002"), "version"},
        {qoltsim::Report::Version, "4000001", B("4000001"), "version"},
        {qoltsim::Report::Sequence, "", B("S00000000000000"), "sequence"},
        {qoltsim::Report::Sequence, "ABCDEFGHIJKLMN", B("SABCDEFGHIJKLMN"), "sequence"},
        {qoltsim::Report::Report2, "", B("2000000"), "report2"},
    };
    Rig rig;
    ASSERT_TRUE(rig.started);
    for (const auto& c : cases) {
        ASSERT_TRUE(rig.vi.SendReport(c.report, c.payload));
        EXPECT_EQ(rig.port->Read(c.expect.size()), c.expect) << c.what;
        ASSERT_TRUE(rig.vi.WaitForSent(c.what, 1, 2s));
        EXPECT_EQ(rig.vi.Sent().back().bytes, c.expect);
    }
    EXPECT_TRUE(rig.port->ReadAll(30ms).empty());
    ASSERT_TRUE(rig.vi.Unplug());
    EXPECT_FALSE(rig.vi.SendReport(qoltsim::Report::Version));
}

TEST(VirtualInstrumentReports, VersionReportAfterIdentification) {
    Rig rig([](Config& c) { c.versionReportAfterIdentification = "4000002"; });
    ASSERT_TRUE(rig.started);
    EXPECT_EQ(rig.port->Ask({0x08}, 7), B("4000002"));
}

TEST(VirtualInstrumentRecording, BoundsKeepCountingPastFullLists) {
    Rig rig([](Config& c) {
        c.pacing = Pacing::Fast;
        c.maxSamples = 2000;
        c.maxPackets = 2;
        c.maxPacketsWithBytes = 1;
    });
    ASSERT_TRUE(rig.started);
    for (uint8_t first : {0, 50, 100}) {
        ASSERT_TRUE(rig.port->Write(MakePacket(first)));
    }
    ASSERT_TRUE(rig.vi.WaitForPackets(3, 2s));
    const auto r = rig.vi.Snapshot();
    EXPECT_EQ(r.totalPackets, 3u);
    EXPECT_EQ(r.packets.size(), 2u);
    EXPECT_EQ(r.droppedPackets, 1u);
    EXPECT_EQ(r.totalSamples, 4500u);
    EXPECT_EQ(r.samples.size(), 2000u);
    EXPECT_EQ(r.droppedSamples, 2500u);
    EXPECT_EQ(r.packets[0].bytes.size(), 3200u);
    EXPECT_TRUE(r.packets[1].bytes.empty());
    EXPECT_EQ(r.packets[1].firstSample, 1500u);

    rig.vi.ClearRecords();
    const auto cleared = rig.vi.Snapshot();
    EXPECT_EQ(cleared.totalPackets, 0u);
    EXPECT_TRUE(cleared.samples.empty());
    EXPECT_TRUE(cleared.commands.empty());
    ASSERT_TRUE(rig.port->Write(MakePacket(150)));
    ASSERT_TRUE(rig.vi.WaitForPackets(1, 2s));
    const auto after = rig.vi.Snapshot();
    EXPECT_TRUE(after.violations.empty()) << "the stream ran on: " << Describe(after.violations);
    EXPECT_EQ(after.packets[0].index, 0);
    EXPECT_EQ(after.packets[0].bytes.size(), 3200u);
}

TEST(VirtualInstrumentRecording, UnplugEndsTheStream) {
    Rig rig(Pacing::Fast);
    ASSERT_TRUE(rig.started);
    ASSERT_TRUE(rig.port->Write(MakePacket(0)));
    ASSERT_TRUE(rig.vi.WaitForPackets(1, 2s));
    EXPECT_TRUE(rig.vi.IsStreaming());
    ASSERT_TRUE(rig.vi.Unplug());
    EXPECT_FALSE(rig.vi.IsStreaming());
    ASSERT_TRUE(rig.vi.Replug());
    RawPort port(rig.vi.NodePath());
    ASSERT_TRUE(port.Write(MakePacket(77)));
    ASSERT_TRUE(rig.vi.WaitForPackets(2, 2s));
    const auto r = rig.vi.Snapshot();
    EXPECT_TRUE(r.violations.empty()) << Describe(r.violations);
    EXPECT_TRUE(r.packets[1].streamStart);
}
