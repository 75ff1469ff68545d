// The instrument reads the host's byte stream by message, whatever the write boundaries.
#include "RawPort.h"

#include "sim/HostStreamParser.h"
#include "sim/VirtualInstrument.h"

#include <gtest/gtest.h>

using namespace std::chrono_literals;
using qoltsim::Config;
using qoltsim::MessageKind;
using qoltsim::MessageStatus;
using qoltsim::VirtualInstrument;
using rawport::B;
using rawport::Bytes;
using rawport::RawPort;

namespace {

struct Expected {
    MessageKind kind;
    MessageStatus status;
    Bytes bytes;
};

// Every host message of the protocol except packets, with what the instrument must record.
std::vector<Expected> AllCommands() {
    Bytes block(64, 0);
    block[0] = 0x12, block[1] = 0x55, block[2] = 0xAA, block[3] = 0xFF;
    block[6] = 'E', block[7] = 'E', block[10] = 17;
    return {
        {MessageKind::Identify, MessageStatus::Ok, {0xAA}},
        {MessageKind::SerialQuery, MessageStatus::Ok, {0x55}},
        {MessageKind::InfoQuery, MessageStatus::Ok, {0x12, 0x55, 0xAA, 0x00, 0x00}},
        {MessageKind::PortTag, MessageStatus::Ok, {0x44, 0x01, '4'}},
        {MessageKind::EndOfIdentification, MessageStatus::Ok, {0x08}},
        {MessageKind::Range, MessageStatus::Ok, {0x00, 0x04}},
        {MessageKind::Relays, MessageStatus::Ok, {0x07, 0x00, 0x40, 0x22, 0x00, 0x00}},
        {MessageKind::VariableDcOffset, MessageStatus::Ok, {0x05, 0x0B, 0xE8}},
        {MessageKind::DcOffsetOff, MessageStatus::Ok, {0x06}},
        {MessageKind::BaselineResetOn, MessageStatus::Ok, {0x05, 0x80, 0x00}},
        {MessageKind::PacingLevelLow, MessageStatus::Ok, {0x09, 0x0C, 0x1A}},
        {MessageKind::PacingLevelHigh, MessageStatus::Ok, {0x04, 0x08, 0x0B}},
        {MessageKind::ConverterQuery, MessageStatus::Ok, {0xAD, 0x00, 0x01, 0x00}},
        {MessageKind::StoreBlock, MessageStatus::Ok, block},
        {MessageKind::StopStream, MessageStatus::Ok, {'S'}},
        {MessageKind::Close, MessageStatus::Ok, {'C'}},
        {MessageKind::InfoQuery, MessageStatus::Malformed, {0x12, 0x55, 0xAA, 0x00, 0x01}},
        {MessageKind::ConverterQuery, MessageStatus::Malformed, {0xAD, 0x01, 0x01, 0x00}},
        {MessageKind::PortTag, MessageStatus::Malformed, {0x44, 0x02, '4'}},
        {MessageKind::Relays, MessageStatus::Malformed, {0x07, 0x00, 0x00, 0x20, 0x01, 0x00}},
        {MessageKind::Unknown, MessageStatus::Ok, {0xFF, 0x7E, 0x30}},
    };
}

Bytes Concatenate(const std::vector<Expected>& messages) {
    Bytes all;
    for (const auto& m : messages) {
        all.insert(all.end(), m.bytes.begin(), m.bytes.end());
    }
    return all;
}

// A run of unknown bytes is recorded in the pieces it arrived in; join them to compare.
template <typename Record> std::vector<Record> JoinUnknownRuns(const std::vector<Record>& records) {
    std::vector<Record> joined;
    for (const auto& r : records) {
        if (!joined.empty() && joined.back().kind == MessageKind::Unknown && r.kind == MessageKind::Unknown) {
            joined.back().bytes.insert(joined.back().bytes.end(), r.bytes.begin(), r.bytes.end());
        } else {
            joined.push_back(r);
        }
    }
    return joined;
}

void ExpectRecorded(const VirtualInstrument& vi, const std::vector<Expected>& expected) {
    const size_t unknownBytes = expected.back().bytes.size();
    ASSERT_EQ(expected.back().kind, MessageKind::Unknown);
    ASSERT_TRUE(vi.WaitFor(
        [&](const qoltsim::Recording& r) {
            size_t unknown = 0;
            for (const auto& c : r.commands) {
                unknown += c.kind == MessageKind::Unknown ? c.bytes.size() : 0;
            }
            return unknown >= unknownBytes;
        },
        3s));
    const auto commands = JoinUnknownRuns(vi.Commands());
    ASSERT_EQ(commands.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(commands[i].kind, expected[i].kind)
            << i << " " << qoltsim::MessageKindName(commands[i].kind);
        EXPECT_EQ(commands[i].status, expected[i].status)
            << i << " " << qoltsim::MessageKindName(expected[i].kind);
        EXPECT_EQ(commands[i].bytes, expected[i].bytes)
            << i << " " << qoltsim::MessageKindName(expected[i].kind);
        if (i > 0) {
            EXPECT_LE(commands[i - 1].time, commands[i].time);
        }
    }
}

// The replies the whole AllCommands() sequence draws, in order.
Bytes ExpectedReplies(const VirtualInstrument& vi) {
    Bytes r = B("KTRX-VI1");
    const Bytes serial = B("KEE2301-170300");
    r.insert(r.end(), serial.begin(), serial.end());
    const auto block = vi.InformationBlock(); // taken before the store
    r.insert(r.end(), block.begin(), block.end());
    r.insert(r.end(), {0x44, 0x01, '4'});
    r.insert(r.end(), {0xAD, 0x08, 0x00});
    return r;
}

Bytes StoredBlock() {
    for (const auto& m : AllCommands()) {
        if (m.kind == MessageKind::StoreBlock) {
            return m.bytes;
        }
    }
    return {};
}

Config MakeConfig(const qoltsim::TempDir& dir) {
    Config c;
    c.directory = dir.Path();
    c.messageTimeout = 150ms;
    return c;
}

} // namespace

// The same stream cut in different ways must give the same records and the same replies.
TEST(VirtualInstrumentParsing, SameMessagesWhateverTheWriteBoundaries) {
    const auto expected = AllCommands();
    const Bytes all = Concatenate(expected);
    struct Split {
        const char* name;
        size_t piece; // 0: message by message
    } splits[] = {{"one write", all.size()}, {"byte by byte", 1},  {"pieces of 3", 3},
                  {"pieces of 7", 7},        {"pieces of 61", 61}, {"message by message", 0}};
    for (const auto& split : splits) {
        SCOPED_TRACE(split.name);
        qoltsim::TempDir dir;
        VirtualInstrument vi(MakeConfig(dir));
        ASSERT_TRUE(vi.Start());
        RawPort port(vi.NodePath());
        const Bytes replies = ExpectedReplies(vi);
        if (split.piece == 0) {
            for (const auto& m : expected) {
                ASSERT_TRUE(port.Write(m.bytes));
            }
        } else {
            for (size_t at = 0; at < all.size(); at += split.piece) {
                const size_t n = std::min(split.piece, all.size() - at);
                ASSERT_TRUE(port.Write(Bytes(all.begin() + at, all.begin() + at + n)));
                if (split.piece < 8) {
                    std::this_thread::sleep_for(200us); // let the instrument see the pieces one by one
                }
            }
        }
        ExpectRecorded(vi, expected);
        Bytes got = port.Read(replies.size() + 64);
        ASSERT_EQ(got.size(), replies.size() + 64);
        EXPECT_EQ(Bytes(got.begin(), got.begin() + replies.size()), replies);
        EXPECT_EQ(Bytes(got.begin() + replies.size(), got.end()), StoredBlock()) << "the stored block's echo";
        EXPECT_TRUE(port.ReadAll(30ms).empty());
        EXPECT_EQ(vi.Range(), 4);
        EXPECT_EQ(vi.RelayPattern(), 0x4022u);
        EXPECT_TRUE(vi.BaselineResetOn()) << "05 80 00 came after 06";
        EXPECT_EQ(vi.Snapshot().CommandBytes(), all) << "every byte recorded once, in order";
    }
}

TEST(VirtualInstrumentParsing, CommandsSetTheStateTheyName) {
    qoltsim::TempDir dir;
    VirtualInstrument vi(MakeConfig(dir));
    ASSERT_TRUE(vi.Start());
    RawPort port(vi.NodePath());
    EXPECT_EQ(vi.Range(), 5) << "initial range";
    EXPECT_EQ(vi.DcOffsetCode(), -1);
    ASSERT_TRUE(port.Write({0x00, 0x04, 0x05, 0x0B, 0xE8, 0x07, 0x00, 0x40, 0x22, 0x00, 0x00}));
    ASSERT_TRUE(vi.WaitForCommand(MessageKind::Relays, 1, 2s));
    EXPECT_EQ(vi.Range(), 4);
    EXPECT_EQ(vi.DcOffsetCode(), 3048);
    EXPECT_EQ(vi.RelayPattern(), 0x4022u);
    ASSERT_TRUE(port.Write({0x05, 0x80, 0x00}));
    ASSERT_TRUE(vi.WaitForCommand(MessageKind::BaselineResetOn, 1, 2s));
    EXPECT_TRUE(vi.BaselineResetOn());
    ASSERT_TRUE(port.Write({0x06}));
    ASSERT_TRUE(vi.WaitForCommand(MessageKind::DcOffsetOff, 1, 2s));
    EXPECT_FALSE(vi.BaselineResetOn());
    EXPECT_EQ(vi.DcOffsetCode(), -1);
}

// Bytes that start no message are recorded as they came and cost nothing after them.
TEST(VirtualInstrumentParsing, UnknownBytesAreRecordedAndSkipped) {
    qoltsim::TempDir dir;
    VirtualInstrument vi(MakeConfig(dir));
    ASSERT_TRUE(vi.Start());
    RawPort port(vi.NodePath());
    EXPECT_EQ(port.Ask({0xFF, 0xFE, 0x80, 0xAA}, 8), B("KTRX-VI1"));
    EXPECT_EQ(port.Ask({'Z', 0x55}, 14), B("KEE2301-170300"));
    const auto r = vi.Snapshot();
    ASSERT_EQ(r.commands.size(), 4u);
    EXPECT_EQ(r.commands[0].kind, MessageKind::Unknown);
    EXPECT_EQ(r.commands[0].bytes, B({0xFF, 0xFE, 0x80}));
    EXPECT_EQ(r.commands[1].kind, MessageKind::Identify);
    EXPECT_EQ(r.commands[2].bytes, B("Z"));
    EXPECT_EQ(r.commands[3].kind, MessageKind::SerialQuery);
}

// A malformed query is not answered; the next message is read normally.
TEST(VirtualInstrumentParsing, MalformedQueriesAreNotAnswered) {
    qoltsim::TempDir dir;
    VirtualInstrument vi(MakeConfig(dir));
    ASSERT_TRUE(vi.Start());
    RawPort port(vi.NodePath());
    ASSERT_TRUE(port.Write({0x12, 0x55, 0xAA, 0x00, 0x07, 0xAD, 0x00, 0x02, 0x00}));
    ASSERT_TRUE(vi.WaitForCommand(MessageKind::ConverterQuery, 1, 2s));
    EXPECT_TRUE(port.ReadAll(50ms).empty());
    EXPECT_EQ(port.Ask({0xAA}, 8), B("KTRX-VI1"));
    const auto r = vi.Snapshot();
    EXPECT_EQ(r.CountCommands(MessageKind::InfoQuery, MessageStatus::Malformed), 1u);
    EXPECT_EQ(r.CountCommands(MessageKind::ConverterQuery, MessageStatus::Malformed), 1u);
}

// A message that stops short is recorded as cut once no byte came for the time-out; the stream is then
// read afresh, so a later query is answered.
TEST(VirtualInstrumentParsing, AnUnfinishedMessageTimesOut) {
    struct Case {
        Bytes partial;
        MessageKind kind;
    } cases[] = {
        {{0x00}, MessageKind::Range},
        {{0x12, 0x55, 0xAA}, MessageKind::InfoQuery},
        {{0x07, 0x00, 0x00}, MessageKind::Relays},
        {{0x12, 0x55, 0xAA, 0xFF, 0x00, 0x00}, MessageKind::StoreBlock},
        {{0x01, 0x00, 0x00, 0x00, 0x08, 0x00}, MessageKind::Packet},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(qoltsim::MessageKindName(c.kind));
        qoltsim::TempDir dir;
        VirtualInstrument vi(MakeConfig(dir));
        ASSERT_TRUE(vi.Start());
        RawPort port(vi.NodePath());
        ASSERT_TRUE(port.Write(c.partial));
        ASSERT_TRUE(vi.WaitFor(
            [&](const qoltsim::Recording& r) {
                return r.CountCommands(c.kind, MessageStatus::Incomplete) == 1;
            },
            3s));
        EXPECT_EQ(port.Ask({0xAA}, 8), B("KTRX-VI1"));
        const auto r = vi.Snapshot();
        ASSERT_EQ(r.commands.size(), 2u);
        if (c.kind != MessageKind::Packet) {
            EXPECT_EQ(r.commands[0].bytes, c.partial);
        } else {
            ASSERT_EQ(r.packets.size(), 1u);
            EXPECT_EQ(r.packets[0].bytes, c.partial);
            EXPECT_FALSE(r.packets[0].complete);
        }
    }
}

// Before the time-out, a message waits for its remaining bytes however long the pause.
TEST(VirtualInstrumentParsing, APauseInsideAMessageIsNotACut) {
    qoltsim::TempDir dir;
    Config config = MakeConfig(dir);
    config.messageTimeout = 5s;
    VirtualInstrument vi(config);
    ASSERT_TRUE(vi.Start());
    RawPort port(vi.NodePath());
    ASSERT_TRUE(port.Write({0x12, 0x55}));
    EXPECT_TRUE(port.ReadAll(80ms).empty());
    EXPECT_EQ(port.Ask({0xAA, 0x00, 0x00}, 64).size(), 64u);
    EXPECT_EQ(vi.Snapshot().CountCommands(MessageKind::InfoQuery, MessageStatus::Ok), 1u);
}

// The stored block is known by its own first three bytes and 0xFF; with other first bytes the same 64
// bytes are not a block.
TEST(VirtualInstrumentParsing, StoredBlockIsRecognisedByItsSignature) {
    qoltsim::TempDir dir;
    Config config = MakeConfig(dir);
    std::array<uint8_t, 64> own;
    own.fill(0xEE); // starts no message, so a block that is not recognised shows as unknown bytes only
    own[0] = 0x3C, own[1] = 0x3B, own[2] = 0x3A;
    config.block = own;
    VirtualInstrument vi(config);
    ASSERT_TRUE(vi.Start());
    RawPort port(vi.NodePath());
    auto unknownBytes = [](const qoltsim::Recording& r) {
        size_t n = 0;
        for (const auto& c : r.commands) {
            n += c.kind == MessageKind::Unknown ? c.bytes.size() : 0;
        }
        return n;
    };

    Bytes foreign(own.begin(), own.end());
    foreign[0] = 0x3D;
    foreign[3] = 0xFF;
    ASSERT_TRUE(port.Write(foreign));
    ASSERT_TRUE(vi.WaitFor([&](const qoltsim::Recording& r) { return unknownBytes(r) == 64; }, 2s));
    EXPECT_TRUE(port.ReadAll(50ms).empty());
    EXPECT_EQ(vi.Snapshot().CountCommands(MessageKind::StoreBlock), 0u);

    Bytes mine(own.begin(), own.end());
    mine[3] = 0xFF;
    mine[50] = 0x77;
    // The signature split over writes.
    ASSERT_TRUE(port.Write(Bytes(mine.begin(), mine.begin() + 2)));
    std::this_thread::sleep_for(2ms);
    ASSERT_TRUE(port.Write(Bytes(mine.begin() + 2, mine.begin() + 4)));
    std::this_thread::sleep_for(2ms);
    ASSERT_TRUE(port.Write(Bytes(mine.begin() + 4, mine.end())));
    EXPECT_EQ(port.Read(64), mine);
    EXPECT_EQ(vi.InformationBlock()[50], 0x77);
    EXPECT_EQ(vi.Snapshot().CountCommands(MessageKind::StoreBlock, MessageStatus::Ok), 1u);

    // A signature start that turns out to be nothing once the time-out passes.
    ASSERT_TRUE(port.Write({0x3C, 0x3B}));
    ASSERT_TRUE(vi.WaitFor([&](const qoltsim::Recording& r) { return unknownBytes(r) == 66; }, 2s));
    EXPECT_EQ(port.Ask({0xAA}, 8), B("KTRX-VI1"));
}

// The framing itself, without the pseudo-terminal: every prefix split of a stream gives the same messages.
TEST(HostStreamParser, EveryTwoWaySplitGivesTheSameMessages) {
    const Bytes all = Concatenate(AllCommands());
    auto parse = [&](size_t cut) {
        qoltsim::HostStreamParser parser(1s);
        std::vector<qoltsim::ParsedMessage> out;
        const auto t = qoltsim::Clock::now();
        parser.Feed(all.data(), cut, t, out);
        parser.Feed(all.data() + cut, all.size() - cut, t, out);
        EXPECT_EQ(parser.Pending(), 0u);
        return out;
    };
    const auto whole = parse(all.size());
    ASSERT_EQ(whole.size(), AllCommands().size());
    for (size_t cut = 0; cut <= all.size(); ++cut) {
        const auto split = JoinUnknownRuns(parse(cut));
        ASSERT_EQ(split.size(), whole.size()) << cut;
        for (size_t i = 0; i < split.size(); ++i) {
            EXPECT_EQ(split[i].bytes, whole[i].bytes) << cut << " " << i;
            EXPECT_EQ(split[i].kind, whole[i].kind) << cut << " " << i;
        }
    }
}

TEST(HostStreamParser, DeadlineAndExpiry) {
    qoltsim::HostStreamParser parser(100ms);
    std::vector<qoltsim::ParsedMessage> out;
    EXPECT_FALSE(parser.Deadline());
    const auto t = qoltsim::Clock::now();
    const Bytes half = {0x07, 0x00};
    parser.Feed(half.data(), half.size(), t, out);
    EXPECT_TRUE(out.empty());
    ASSERT_TRUE(parser.Deadline());
    EXPECT_EQ(*parser.Deadline(), t + 100ms);
    parser.Expire(t + 99ms, out);
    EXPECT_TRUE(out.empty());
    parser.Expire(t + 100ms, out);
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].kind, MessageKind::Relays);
    EXPECT_EQ(out[0].status, MessageStatus::Incomplete);
    EXPECT_FALSE(parser.Deadline());
}

// A whole packet whose last sample bytes read like the head of a next packet (01, counter, 00): nothing
// follows it until the instrument asks for more, so it must count at once, not at the message time-out.
TEST(HostStreamParser, APacketEndingLikeAHeadIsWholeAtOnce) {
    Bytes packet(qoltsim::kPacketSize, 0x08);
    for (size_t k = 0; k < 50; ++k) {
        packet[64 * k] = qoltsim::kPacketHead;
        packet[64 * k + 1] = static_cast<uint8_t>(k);
        packet[64 * k + 2] = 0x00;
        packet[64 * k + 3] = 0x00;
    }
    packet[386] = 'E';
    const std::vector<Bytes> tails = {{0x01}, {0x01, 50}, {0x01, 50, 0x00}};
    for (const auto& tail : tails) {
        SCOPED_TRACE(tail.size());
        Bytes p = packet;
        std::copy(tail.begin(), tail.end(), p.end() - static_cast<std::ptrdiff_t>(tail.size()));
        qoltsim::HostStreamParser parser(1s);
        std::vector<qoltsim::ParsedMessage> out;
        parser.Feed(p.data(), p.size(), qoltsim::Clock::now(), out);
        ASSERT_EQ(out.size(), 1u);
        EXPECT_EQ(out[0].kind, MessageKind::Packet);
        EXPECT_EQ(out[0].status, MessageStatus::Ok);
        EXPECT_EQ(out[0].bytes, p);
        EXPECT_EQ(parser.Pending(), 0u);

        // Followed by a command, it stays whole too.
        const Bytes stop = {'S'};
        out.clear();
        parser.Feed(p.data(), p.size(), qoltsim::Clock::now(), out);
        parser.Feed(stop.data(), stop.size(), qoltsim::Clock::now(), out);
        ASSERT_EQ(out.size(), 2u);
        EXPECT_EQ(out[0].status, MessageStatus::Ok);
        EXPECT_EQ(out[1].kind, MessageKind::StopStream);
    }
}
