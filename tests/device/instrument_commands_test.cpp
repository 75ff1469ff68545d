// The command set against the virtual instrument's own reading of the wire: every message is recognised
// as what it is meant to be, and every query's reply arrives within its wait.
#include "support/DeviceFixture.h"

#include "device/Platform.h"
#include "device/InstrumentCommands.h"

#include <functional>

using namespace std::chrono_literals;
using devicetest::Bytes;
using devicetest::DeviceTest;
using qoltsim::MessageKind;

namespace {

// These tests need a linked port, not a test of the identification (that has its own): like the connection
// thread, which tries again after a failed attempt, give a loaded machine three tries at the identify reply's
// short wait.
bool Link(int port) {
    for (int attempt = 0; attempt < 3; ++attempt) {
        if (DoFindDevice(port)) {
            return true;
        }
    }
    return false;
}

template <std::size_t N> Bytes ToBytes(const unsigned char (&bytes)[N]) {
    return Bytes(bytes, bytes + N);
}

struct MessageCase {
    const char* name;
    std::function<Bytes()> build;
    MessageKind kind;
};

void PrintTo(const MessageCase& c, std::ostream* os) {
    *os << c.name;
}

// A block as the instrument of the default configuration holds it, with a manufacturing record changed:
// a stored block is always a modified copy of the block read from the instrument.
std::array<unsigned char, kInformationBlockSize> SampleBlock() {
    const auto held = qoltsim::BuildInformationBlock(qoltsim::Config());
    std::array<unsigned char, kInformationBlockSize> block{};
    std::copy(held.begin(), held.end(), block.begin());
    for (int i = 48; i < kInformationBlockSize; ++i) {
        block[static_cast<std::size_t>(i)] = static_cast<unsigned char>(0x20 + i);
    }
    return block;
}

const MessageCase kMessages[] = {
    {"Identify", [] { return ToBytes(kCmdIdentify); }, MessageKind::Identify},
    {"SerialText", [] { return ToBytes(kCmdSerialText); }, MessageKind::SerialQuery},
    {"InformationQuery", [] { return ToBytes(kCmdInformationQuery); }, MessageKind::InfoQuery},
    {"PortTag",
     [] {
         unsigned char tag[kPortTagSize];
         MakePortTagCommand('7', tag);
         return ToBytes(tag);
     },
     MessageKind::PortTag},
    {"EndOfIdentification", [] { return ToBytes(kCmdEndOfIdentification); },
     MessageKind::EndOfIdentification},
    {"StopStream", [] { return ToBytes(kCmdStopStream); }, MessageKind::StopStream},
    {"Range",
     [] {
         unsigned char range[kRangeSize];
         MakeRangeCommand(3, range);
         return ToBytes(range);
     },
     MessageKind::Range},
    {"Relays",
     [] {
         unsigned char relays[kRelaySize];
         MakeRelayCommand(0x12, 0x34, 0x56, relays);
         return ToBytes(relays);
     },
     MessageKind::Relays},
    {"VariableDCOffset",
     [] {
         unsigned char offset[kDCOffsetSize];
         MakeDCOffsetCommand(0x07, 0xD0, offset);
         return ToBytes(offset);
     },
     MessageKind::VariableDcOffset},
    {"DCOffsetOff", [] { return ToBytes(kCmdDCOffsetOff); }, MessageKind::DcOffsetOff},
    {"BaselineResetOn", [] { return ToBytes(kCmdBaselineResetOn); }, MessageKind::BaselineResetOn},
    {"PacingLevelFirst",
     [] {
         unsigned char level[kPacingLevelSize];
         MakePacingLevelCommand(kPacingLevelHeadFirst, 0x01, 0x02, level);
         return ToBytes(level);
     },
     MessageKind::PacingLevelLow},
    {"PacingLevelSecond",
     [] {
         unsigned char level[kPacingLevelSize];
         MakePacingLevelCommand(kPacingLevelHeadSecond, 0x03, 0x04, level);
         return ToBytes(level);
     },
     MessageKind::PacingLevelHigh},
    {"ConverterReading", [] { return ToBytes(kCmdConverterReading); }, MessageKind::ConverterQuery},
    {"StoreBlock",
     [] {
         unsigned char stored[kInformationBlockSize];
         const auto block = SampleBlock();
         unsigned char source[kInformationBlockSize];
         std::copy(block.begin(), block.end(), source);
         MakeStoreBlockCommand(source, stored);
         return ToBytes(stored);
     },
     MessageKind::StoreBlock},
    {"Close", [] { return ToBytes(kCmdClose); }, MessageKind::Close},
};

class MessageTest : public DeviceTest, public ::testing::WithParamInterface<MessageCase> {};

TEST_P(MessageTest, InstrumentRecognisesTheMessage) {
    auto& vi = AddInstrument(0);
    ASSERT_TRUE(Link(0));
    vi.ClearRecords();
    const Bytes bytes = GetParam().build();
    ASSERT_TRUE(SendCommand(bytes.data(), static_cast<int>(bytes.size())));
    ASSERT_TRUE(vi.WaitForCommand(GetParam().kind, 1, 3000ms));
    const auto recording = vi.Snapshot();
    const auto* command = recording.LastCommand(GetParam().kind);
    ASSERT_NE(command, nullptr);
    EXPECT_EQ(command->status, qoltsim::MessageStatus::Ok);
    EXPECT_EQ(command->bytes, bytes);
    EXPECT_EQ(recording.CountCommands(MessageKind::Unknown), 0u);
}

INSTANTIATE_TEST_SUITE_P(Messages, MessageTest, ::testing::ValuesIn(kMessages),
                         [](const ::testing::TestParamInfo<MessageCase>& info) { return info.param.name; });

class ExchangeTest : public DeviceTest {
protected:
    qoltsim::VirtualInstrument& Connect(qoltsim::Config config = qoltsim::Config()) {
        auto& vi = AddInstrument(0, config);
        EXPECT_TRUE(Link(0));
        return vi;
    }
};

TEST_F(ExchangeTest, SerialTextArrivesWithinItsWait) {
    qoltsim::Config config;
    config.serialText = "SN-1234-AB";
    Connect(config);
    ASSERT_TRUE(SendCommand(kCmdSerialText));
    unsigned char reply[kSerialTextReplyCapacity];
    const int got = ReadReply(reply, kSerialTextReplyCapacity, kSerialTextReplyMinimum, kSerialTextWaitMs);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(reply), static_cast<std::size_t>(got)), "SN-1234-AB");
}

TEST_F(ExchangeTest, InformationBlockArrivesWhole) {
    auto& vi = Connect();
    ASSERT_TRUE(SendCommand(kCmdInformationQuery));
    unsigned char block[kInformationBlockSize];
    ASSERT_EQ(ReadReply(block, kInformationBlockSize, kInformationBlockSize, kInformationWaitMs),
              kInformationBlockSize);
    const auto expected = vi.InformationBlock();
    EXPECT_TRUE(std::equal(expected.begin(), expected.end(), block));
}

TEST_F(ExchangeTest, ConverterReadingIsMarkedAndHighByteFirst) {
    qoltsim::Config config;
    config.converterValue = 0x0ABC;
    Connect(config);
    ASSERT_TRUE(SendCommand(kCmdConverterReading));
    unsigned char reply[kConverterReplyCapacity];
    ASSERT_EQ(ReadReply(reply, kConverterReplyCapacity, 3, kConverterWaitMs), 3);
    EXPECT_EQ(reply[0], kConverterReplyMarker);
    EXPECT_EQ((reply[1] << 8) | reply[2], 0x0ABC);
}

TEST_F(ExchangeTest, StoredBlockIsEchoed) {
    auto& vi = Connect();
    const auto block = SampleBlock();
    unsigned char source[kInformationBlockSize];
    std::copy(block.begin(), block.end(), source);
    unsigned char stored[kInformationBlockSize];
    MakeStoreBlockCommand(source, stored);
    EXPECT_EQ(source[kStoreBlockMarkerIndex], block[kStoreBlockMarkerIndex]); // the source stays as it was
    ASSERT_TRUE(SendCommand(stored));
    unsigned char echo[kInformationBlockSize];
    ASSERT_EQ(ReadReply(echo, kInformationBlockSize, kInformationBlockSize, kStoreBlockWaitMs),
              kInformationBlockSize);
    EXPECT_TRUE(std::equal(stored, stored + kInformationBlockSize, echo));
    const auto held = vi.InformationBlock();
    EXPECT_TRUE(std::equal(held.begin(), held.end(), stored));
}

TEST_F(ExchangeTest, ReplyLongerThanAskedIsCutAtTheCapacity) {
    Connect();
    ASSERT_TRUE(SendCommand(kCmdInformationQuery));
    unsigned char reply[10 + 6];
    std::fill(std::begin(reply), std::end(reply), 0x5A);
    EXPECT_EQ(ReadReply(reply, 10, 10, kInformationWaitMs), 10);
    for (int i = 10; i < 16; ++i) {
        EXPECT_EQ(reply[i], 0x5A) << "byte " << i << " written past the capacity";
    }
}

TEST_F(ExchangeTest, ShortReplyIsReportedShort) {
    auto& vi = Connect();
    vi.SetFault(MessageKind::InfoQuery, qoltsim::Fault(qoltsim::FaultKind::Short, 0ms, -1, 20));
    ASSERT_TRUE(SendCommand(kCmdInformationQuery));
    unsigned char block[kInformationBlockSize];
    EXPECT_EQ(ReadReply(block, kInformationBlockSize, kInformationBlockSize, kInformationWaitMs), 20);
}

TEST_F(ExchangeTest, SendAndReadRefuseBadArguments) {
    Connect();
    EXPECT_FALSE(SendCommand(nullptr, 1));
    EXPECT_FALSE(SendCommand(kCmdClose, 0));
    unsigned char reply[4];
    EXPECT_EQ(ReadReply(nullptr, 4, 4, 0), 0);
    EXPECT_EQ(ReadReply(reply, 0, 0, 0), 0);
    EXPECT_FALSE(IsIdentifyReply(nullptr, 4));
    const unsigned char token[] = {'K', 'T', 'R', 'X'};
    EXPECT_TRUE(IsIdentifyReply(token, 4));
    EXPECT_FALSE(IsIdentifyReply(token, 3));
}

} // namespace
