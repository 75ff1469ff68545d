// Output range, relays and DC offset: the commands byte for byte as the instrument receives them, and the
// baseline-reset test switched on and off while a sine streams.
#include "stream/StreamTestSupport.h"

#include "device/DeviceState.h"
#include "stream/OutputStage.h"
#include "synth/PacingState.h"
#include "synth/SynthesisState.h"
#include "synth/WaveformSettings.h"

#include <algorithm>
#include <cstdlib>
#include <thread>
#include <utility>

using namespace streamtest;
using qoltsim::Pacing;
using Bytes = std::vector<uint8_t>;
using ByteList = std::vector<Bytes>;

namespace {

class OutputStage : public StreamFixture {
protected:
    // Every command other than packets received since the last Mark, as bytes.
    ByteList ControlSinceMark(qoltsim::VirtualInstrument& vi) {
        ByteList out;
        const auto commands = vi.Commands();
        for (size_t i = mark_; i < commands.size(); ++i)
            if (commands[i].kind != MessageKind::Packet)
                out.push_back(commands[i].bytes);
        return out;
    }
    // Starts a new count once the instrument has taken in everything sent so far.
    void Mark(qoltsim::VirtualInstrument& vi) {
        auto control = [&vi](size_t* total) {
            const auto commands = vi.Commands();
            *total = commands.size();
            return std::count_if(commands.begin(), commands.end(), [](const qoltsim::CommandRecord& c) {
                return c.kind != MessageKind::Packet;
            });
        };
        size_t total = 0;
        auto seen = control(&total);
        for (;;) {
            std::this_thread::sleep_for(50ms);
            const auto now = control(&total);
            if (now == seen)
                break;
            seen = now;
        }
        mark_ = total;
    }
    // Waits until `count` control commands have come since the mark, and a little more for any extra.
    ByteList WaitForControl(qoltsim::VirtualInstrument& vi, size_t count) {
        const size_t from = mark_;
        const auto start = Clock::now();
        while (ControlSinceMark(vi).size() < count && Clock::now() - start < kWait)
            std::this_thread::sleep_for(5ms);
        Mark(vi);
        ByteList out;
        const auto commands = vi.Commands();
        for (size_t i = from; i < mark_; ++i)
            if (commands[i].kind != MessageKind::Packet)
                out.push_back(commands[i].bytes);
        return out;
    }
    size_t mark_ = 0;
};

const Bytes kOffsetOff = {0x06};
const Bytes kRange5 = {0x00, 0x05};
const Bytes kBaselineOn = {0x05, 0x80, 0x00};
Bytes Relays(uint32_t pattern) {
    return {0x07,
            static_cast<uint8_t>(pattern >> 16),
            static_cast<uint8_t>(pattern >> 8),
            static_cast<uint8_t>(pattern),
            0x00,
            0x00};
}

TEST_F(OutputStage, DefaultsSwitchLeadZeroOnly) {
    auto& vi = Linked(Pacing::Fast);
    Mark(vi);
    ASSERT_EQ(SetPulseWidth(50.0), 0); // a change with the output off
    EXPECT_EQ(WaitForControl(vi, 2), (ByteList{Relays(0x0020), kOffsetOff}));
    // The pattern is sent only when it changes.
    ASSERT_EQ(SetPulseWidth(60.0), 0);
    EXPECT_EQ(WaitForControl(vi, 1), (ByteList{kOffsetOff}));
    EXPECT_EQ(vi.RelayPattern(), 0x0020u);
}

TEST_F(OutputStage, LeadsAndImpedanceSwitchAtOnce) {
    auto& vi = Linked(Pacing::Fast);
    Mark(vi);
    ASSERT_EQ(SetOutputLead(3, true), 0);
    ASSERT_EQ(SetInputImpedanceMode(false), 0);
    EXPECT_EQ(WaitForControl(vi, 2), (ByteList{Relays(0x4020), Relays(0x4022)}));
    ASSERT_EQ(SetOutputLead(3, true), 0); // already on: nothing
    ASSERT_EQ(SetInputImpedanceMode(false), 0);
    ASSERT_EQ(SetOutputLead(0, false), 0);
    EXPECT_EQ(WaitForControl(vi, 1), (ByteList{Relays(0x4002)}));
}

TEST_F(OutputStage, FixedOffsetMinus300InCommonMode) {
    auto& vi = Linked(Pacing::Fast);
    Mark(vi);
    ASSERT_EQ(SetDCOffsetCommonMode(true), 0); // no fixed offset yet: the common bit waits for one
    ASSERT_EQ(SetDCOffset(-300), 0);
    EXPECT_EQ(WaitForControl(vi, 3), (ByteList{Relays(0x0020), Relays(0x002C), kOffsetOff}));
    ASSERT_EQ(SetDCOffset(300), 0);
    EXPECT_EQ(WaitForControl(vi, 2), (ByteList{Relays(0x003C), kOffsetOff}));
    ASSERT_EQ(SetDCOffsetCommonMode(false), 0);
    EXPECT_EQ(WaitForControl(vi, 1), (ByteList{Relays(0x0034)}));
}

struct FixedOffsetCase {
    const char* name;
    qoltsim::Model model;
    int full; // the fixed offset's size on this model
};

const FixedOffsetCase kFixedOffsetCases[] = {
    {"Standard", qoltsim::Model::Standard, 300},
    {"Enhanced", qoltsim::Model::Enhanced, 150},
};

void PrintTo(const FixedOffsetCase& c, std::ostream* os) {
    *os << c.name;
}

class FixedOffset : public OutputStage, public ::testing::WithParamInterface<FixedOffsetCase> {};

TEST_P(FixedOffset, OnlyOffsetsTheRelaysCanGiveAreTaken) {
    const FixedOffsetCase& c = GetParam();
    qoltsim::Config config;
    config.model = c.model;
    auto& vi = Linked(Pacing::Fast, config);
    ASSERT_EQ(IsQOLT300R(), c.model == qoltsim::Model::Enhanced);
    Mark(vi);
    // Refused, and nothing changes: no setting, no command.
    for (int offset : {100, -1, 1, c.full / 2, -c.full / 2, c.full - 1, 2 * c.full, -c.full - 1}) {
        EXPECT_EQ(SetDCOffset(offset), -2) << offset;
        EXPECT_EQ(GetDCOffset(), 0) << offset;
    }
    ASSERT_EQ(SetDCOffset(c.full), 0);
    EXPECT_EQ(WaitForControl(vi, 2), (ByteList{Relays(0x0034), kOffsetOff}));
    ASSERT_EQ(SetDCOffset(-c.full), 0);
    EXPECT_EQ(WaitForControl(vi, 2), (ByteList{Relays(0x0024), kOffsetOff}));
    ASSERT_EQ(SetDCOffset(0), 0);
    EXPECT_EQ(WaitForControl(vi, 2), (ByteList{Relays(0x0020), kOffsetOff}));

    // Switching the variable mode off: a setting the fixed mode can give is kept, any other returns to 0.
    struct Switch {
        int variable;
        int fixed;
        uint32_t relays;
    };
    for (const Switch& s : {Switch{500, 0, 0x0020}, Switch{-1, 0, 0x0020}, Switch{c.full, c.full, 0x0034},
                            Switch{-c.full, -c.full, 0x0024}, Switch{2 * c.full, 0, 0x0020}}) {
        ASSERT_EQ(SetDCOffsetVariableMode(true), 0);
        ASSERT_EQ(SetDCOffset(s.variable), 0);
        Mark(vi);
        ASSERT_EQ(SetDCOffsetVariableMode(false), 0);
        EXPECT_EQ(WaitForControl(vi, 2), (ByteList{Relays(s.relays), kOffsetOff})) << s.variable;
        EXPECT_EQ(GetDCOffset(), s.fixed) << s.variable;
        EXPECT_FALSE(GetDCOffsetVariableMode());
    }
}

INSTANTIATE_TEST_SUITE_P(Stream, FixedOffset, ::testing::ValuesIn(kFixedOffsetCases),
                         [](const ::testing::TestParamInfo<FixedOffsetCase>& info) {
                             return info.param.name;
                         });

TEST_F(OutputStage, VariableOffsetsAndTheSameOffsetTwice) {
    auto& vi = Linked(Pacing::Fast);
    Mark(vi);
    ASSERT_EQ(SetDCOffsetVariableMode(true), 0);
    EXPECT_EQ(WaitForControl(vi, 3), (ByteList{Relays(0x0021), kRange5, {0x05, 0x08, 0x00}}));
    EXPECT_DOUBLE_EQ(UnderLock([] { return g_fVoltageRange; }), 4.0);
    ASSERT_EQ(SetDCOffset(500), 0);
    EXPECT_EQ(WaitForControl(vi, 2), (ByteList{kRange5, {0x05, 0x0B, 0xE8}}));
    ASSERT_EQ(SetDCOffset(500), 0);
    EXPECT_EQ(WaitForControl(vi, 1), (ByteList{kRange5}));
    ASSERT_EQ(SetDCOffset(-1000), 0);
    EXPECT_EQ(WaitForControl(vi, 2), (ByteList{kRange5, {0x05, 0x00, 0x31}}));
    EXPECT_EQ(vi.DcOffsetCode(), 49);
    ASSERT_EQ(SetDCOffset(1000), 0);
    EXPECT_EQ(WaitForControl(vi, 2), (ByteList{kRange5, {0x05, 0x0F, 0xD0}}));
}

TEST_F(OutputStage, TheOffsetIsSentAgainAfterTheOffCommand) {
    auto& vi = Linked(Pacing::Fast);
    ASSERT_EQ(SetDCOffsetVariableMode(true), 0);
    ASSERT_EQ(SetDCOffset(300), 0);
    ASSERT_EQ(SetDCOffsetVariableMode(false), 0); // 300 now a fixed offset
    Mark(vi);
    ASSERT_EQ(SetDCOffsetVariableMode(true), 0);
    // The off command (and the fixed relay) cleared the instrument's offset: the same setting goes again.
    EXPECT_EQ(WaitForControl(vi, 3), (ByteList{Relays(0x0021), kRange5, {0x05, 0x0A, 0x58}}));
}

TEST_F(OutputStage, WithTheVariableOffsetOnTheSampleScaleIsFourAndWhatIsDecodedIsWhatWasAsked) {
    // A 2.5 square is coded against a full scale of 4 while the offset channel is on, against 5 after; a
    // stream's first packet too: it is built once the starting change has settled the range.
    auto& vi = Linked(Pacing::Manual);
    ASSERT_EQ(SetDCOffsetVariableMode(true), 0);
    ASSERT_EQ(SetDCOffset(500), 0);
    ASSERT_EQ(SetAmplitude(1000.0), 0);
    ASSERT_EQ(SetOutputFunc(3), 0);
    ASSERT_TRUE(vi.WaitForPackets(1, kWait));
    Request(vi, 1);
    ASSERT_EQ(SetOutputFunc(0), 0);
    ASSERT_EQ(SetDCOffsetVariableMode(false), 0);
    ASSERT_EQ(SetOutputFunc(3), 0);
    ASSERT_TRUE(vi.WaitForPackets(3, kWait));
    ASSERT_EQ(SetOutputFunc(0), 0);

    const auto r = vi.Snapshot();
    ASSERT_EQ(r.packets.size(), 3u);
    struct Expected {
        int codeOffset;
        uint8_t scale;
        double value;
    };
    const Expected expected[] = {{1250, 4, 2.5}, {1250, 4, 2.5}, {1000, 5, 2.5}};
    for (size_t packet = 0; packet < 3; ++packet) {
        const Expected& e = expected[packet];
        for (size_t i = 0; i < 1500; ++i) {
            const auto& s = r.samples[r.packets[packet].firstSample + i];
            ASSERT_EQ(std::abs(s.code - 2048), e.codeOffset) << packet << " " << i;
            ASSERT_EQ(s.range, e.scale) << packet;
            ASSERT_DOUBLE_EQ(std::fabs(s.value), e.value) << packet << " " << i;
        }
    }
}

// Largest distance from 0 V, in codes, of the samples of one packet, and whether all carry the high-range
// flag (none does: false; some: the test fails).
std::pair<int, bool> PacketShape(const qoltsim::Recording& r, size_t packet) {
    int peak = 0;
    size_t flagged = 0;
    for (size_t i = 0; i < 1500; ++i) {
        const auto& s = r.samples[r.packets[packet].firstSample + i];
        peak = std::max(peak, std::abs(s.code - 2048));
        flagged += s.HighRange() ? 1 : 0;
    }
    EXPECT_TRUE(flagged == 0 || flagged == 1500) << flagged;
    return {peak, flagged == 1500};
}

TEST_F(OutputStage, BaselineResetTestOnAndOff) {
    auto& vi = Linked(Pacing::Manual);
    RegisterSyncFreqCB(RecordFreq);
    EXPECT_EQ(SetBaselineResetTest(1), -2); // only under the sine
    ASSERT_EQ(SetFrequency(1.0), 0);
    ASSERT_EQ(SetOutputFunc(1), 0);
    ASSERT_TRUE(vi.WaitForPackets(1, kWait));
    Mark(vi);

    ASSERT_EQ(SetBaselineResetTest(2), 0);
    EXPECT_EQ(WaitForControl(vi, 3), (ByteList{kRange5, Relays(0x0021), kBaselineOn}));
    EXPECT_EQ(FreqSyncs().Values(), std::vector<double>{60.0});
    EXPECT_DOUBLE_EQ(GetFrequency(), 60.0);
    EXPECT_EQ(SetAmplitude(300.0), -3);
    EXPECT_EQ(SetFrequency(20.0), -4);
    // Outside the range: refused, nothing stored and no change asked for.
    EXPECT_EQ(SetFrequency(900.0), -2);
    EXPECT_DOUBLE_EQ(GetFrequency(), 60.0);
    Request(vi, 1);
    // A 60 Hz sine of the fixed peak 2.5, every sample flagged for the high range.
    auto shape = PacketShape(vi.Snapshot(), 1);
    EXPECT_EQ(shape.first, 1000);
    EXPECT_TRUE(shape.second);

    ASSERT_EQ(SetBaselineResetTest(0), 0);
    EXPECT_EQ(WaitForControl(vi, 4), (ByteList{kOffsetOff, kRange5, Relays(0x0020), kOffsetOff}));
    Request(vi, 1);
    // Back to the amplitude setting (100: 0.25), still at 60 Hz.
    shape = PacketShape(vi.Snapshot(), 2);
    EXPECT_EQ(shape.first, 100);
    EXPECT_FALSE(shape.second);
    EXPECT_DOUBLE_EQ(GetFrequency(), 60.0);

    // Stopping the output ends the test.
    ASSERT_EQ(SetBaselineResetTest(4), 0);
    EXPECT_EQ(WaitForControl(vi, 3), (ByteList{kRange5, Relays(0x0021), kBaselineOn}));
    ASSERT_EQ(SetOutputFunc(0), 0);
    EXPECT_EQ(GetBaselineResetTest(), 0);
    EXPECT_EQ(WaitForControl(vi, 3), (ByteList{{'S'}, Relays(0x0020), kOffsetOff}));
    EXPECT_TRUE(vi.Snapshot().violations.empty());
}

TEST_F(OutputStage, TheBaselineResetTestMakesTheVariableOffsetGoAgain) {
    auto& vi = Linked(Pacing::Manual);
    ASSERT_EQ(SetDCOffsetVariableMode(true), 0);
    ASSERT_EQ(SetDCOffset(500), 0);
    ASSERT_EQ(SetOutputFunc(1), 0);
    ASSERT_TRUE(vi.WaitForPackets(1, kWait));
    Mark(vi);
    ASSERT_EQ(SetBaselineResetTest(1), 0);
    EXPECT_EQ(WaitForControl(vi, 2), (ByteList{kRange5, kBaselineOn})); // relays unchanged: 0x0021
    ASSERT_EQ(SetBaselineResetTest(0), 0);
    // The test drove the offset DAC: the offset goes again although its setting did not change.
    EXPECT_EQ(WaitForControl(vi, 4), (ByteList{kOffsetOff, kRange5, kRange5, {0x05, 0x0B, 0xE8}}));
    EXPECT_EQ(vi.DcOffsetCode(), 3048);
}

struct FirstPacketCase {
    const char* name;
    bool variable;      // variable DC offset on
    bool startAtLinkUp; // the output was selected before the link: the stream starts at link-up
    uint8_t scale;      // full scale the instrument decodes with, from the first sample on
};

const FirstPacketCase kFirstPacketCases[] = {
    {"VariableOffsetOn", true, false, 4},
    {"VariableOffsetOff", false, false, 5},
    {"VariableOffsetOnStartedAtLinkUp", true, true, 4},
};

void PrintTo(const FirstPacketCase& c, std::ostream* os) {
    *os << c.name;
}

class FirstPacket : public OutputStage, public ::testing::WithParamInterface<FirstPacketCase> {};

TEST_P(FirstPacket, IsCodedWithTheRangeTheInstrumentDecodesWith) {
    // Range, relays and offset are settled before the stream's first packet is coded, so that its
    // samples come out at the size asked for like every later one.
    const FirstPacketCase& c = GetParam();
    qoltsim::VirtualInstrument* vi = nullptr;
    if (c.startAtLinkUp) {
        qoltsim::Config config;
        config.pacing = Pacing::Manual;
        vi = &AddInstrument(config);
        UnderLock([] { return g_Callback = RecordA; }); // ready without a port
    } else {
        vi = &Linked(Pacing::Manual);
    }
    ASSERT_EQ(SetDCOffsetVariableMode(c.variable), 0);
    ASSERT_EQ(SetAmplitude(1000.0), 0); // peak 2.5
    ASSERT_EQ(SetOutputFunc(3), 0);
    if (c.startAtLinkUp) {
        ASSERT_TRUE(Init(RecordA));
        ASSERT_TRUE(ListenerA().WaitForCount(1));
    }
    ASSERT_TRUE(vi->WaitForPackets(1, kWait));
    Request(*vi, 1);
    const auto r = vi->Snapshot();
    ASSERT_EQ(r.samples.size(), 3000u);
    EXPECT_TRUE(r.packets[0].streamStart);
    const int codes = 2.5 / c.scale * 2000;
    for (size_t i = 0; i < r.samples.size(); ++i) {
        ASSERT_EQ(std::abs(r.samples[i].code - 2048), codes) << i;
        ASSERT_EQ(r.samples[i].range, c.scale) << i;
        ASSERT_DOUBLE_EQ(std::fabs(r.samples[i].value), 2.5) << i;
    }
    EXPECT_DOUBLE_EQ(UnderLock([] { return g_fVoltageRange; }), c.scale);
}

INSTANTIATE_TEST_SUITE_P(Stream, FirstPacket, ::testing::ValuesIn(kFirstPacketCases),
                         [](const ::testing::TestParamInfo<FirstPacketCase>& info) {
                             return info.param.name;
                         });

// ---- The pattern itself (no instrument needed) --------------------------------------------------------

struct RelayCase {
    const char* what;
    unsigned leads;
    bool impedance;
    int dc;
    bool variable, common, is300R;
    int function;
    bool streaming;
    int pulses;
    bool pacingHighRange;
    int baseline;
    uint32_t pattern;
};

TEST(RelayPattern, FromSettingsAndStreamState) {
    const RelayCase cases[] = {
        {"defaults", 0x001, true, 0, false, false, false, 0, false, 0, true, 0, 0x0020},
        {"no lead", 0x000, true, 0, false, false, false, 0, false, 0, true, 0, 0x0000},
        {"lead 1", 0x002, true, 0, false, false, false, 0, false, 0, true, 0, 0x0040},
        {"lead 2", 0x004, true, 0, false, false, false, 0, false, 0, true, 0, 0x0100},
        {"leads 3 to 8", 0x1F8, true, 0, false, false, false, 0, false, 0, true, 0, 0x7E00},
        {"lead 8", 0x100, true, 0, false, false, false, 0, false, 0, true, 0, 0x0200},
        {"leads 0 and 3, impedance off", 0x009, false, 0, false, false, false, 0, false, 0, true, 0, 0x4022},
        {"fixed +300", 0x001, true, 300, false, false, false, 0, false, 0, true, 0, 0x0034},
        {"fixed +300 common", 0x001, true, 300, false, true, false, 0, false, 0, true, 0, 0x003C},
        {"fixed -300 common", 0x001, true, -300, false, true, false, 0, false, 0, true, 0, 0x002C},
        {"fixed -300", 0x001, true, -300, false, false, false, 0, false, 0, true, 0, 0x0024},
        // A stored offset that the relays cannot give (left from another model) switches no offset at all.
        {"fixed 120 gives none", 0x001, true, 120, false, false, false, 0, false, 0, true, 0, 0x0020},
        {"fixed +150 gives none", 0x001, true, 150, false, true, false, 0, false, 0, true, 0, 0x0020},
        {"fixed +150 on the 300R", 0x001, true, 150, false, false, true, 0, false, 0, true, 0, 0x0034},
        {"fixed -150 on the 300R", 0x001, true, -150, false, true, true, 0, false, 0, true, 0, 0x002C},
        {"fixed -300 on the 300R gives none", 0x001, true, -300, false, false, true, 0, false, 0, true, 0,
         0x0020},
        {"common without an offset", 0x001, true, 0, false, true, false, 0, false, 0, true, 0, 0x0020},
        {"variable", 0x001, true, 700, true, true, false, 0, false, 0, true, 0, 0x0021},
        {"staircase", 0x001, true, 0, false, false, false, 14, false, 0, true, 0, 0x0021},
        {"pacing, low range", 0x001, false, 300, false, true, false, 1, true, 1, false, 0, 0x0020},
        {"pacing, high range", 0x001, false, 300, true, true, false, 1, true, 2, true, 0, 0x0021},
        {"pacing required, stream stopped", 0x001, false, 0, false, false, false, 1, false, 1, false, 0,
         0x0022},
        {"baseline-reset test", 0x001, true, 0, false, false, false, 1, true, 0, true, 2, 0x0021},
        {"baseline-reset test, stream stopped", 0x001, true, 0, false, false, false, 1, false, 0, true, 2,
         0x0020},
    };
    for (const auto& c : cases) {
        g_OutputLead = c.leads;
        g_InputImpedance = c.impedance;
        g_DCSetting = c.dc;
        g_DCVariable = c.variable;
        g_DCCommon = c.common;
        s_bIs300R = c.is300R;
        g_MainOutput = c.function;
        s_ECGGoing = c.streaming;
        g_nPulsesRequired = c.pulses;
        s_PacingHighRange = c.pacingHighRange;
        g_BaseLineOverload = c.baseline;
        EXPECT_EQ(_ComputeRelayPattern(), c.pattern) << c.what;
    }
    s_ECGGoing = false;
}

} // namespace
