// Manufacturing records and the identity store against the virtual instrument.
#include "session/SessionTestSupport.h"

#include "api/DeviceInformation.h"
#include "core/SessionSync.h"
#include "sync/CriticalSection.h"
#include "synth/SynthesisState.h"

#include <array>

using namespace sessiontest;
using qoltsim::MessageKind;

namespace {

using Block = std::array<uint8_t, qoltsim::kBlockSize>;

std::array<uint8_t, 16> Record(const Block& block) {
    std::array<uint8_t, 16> out{};
    std::copy(block.begin() + 48, block.end(), out.begin());
    return out;
}

class ManufacturingRecords : public SessionFixture {
protected:
    qoltsim::Config config_;
    void SetUp() override {
        SessionFixture::SetUp();
        for (size_t i = 0; i < config_.manufacturingRecord.size(); ++i)
            config_.manufacturingRecord[i] = static_cast<uint8_t>(0xA0 + i);
    }
};

TEST_F(ManufacturingRecords, SetDeviceInformationWritesTheIdentityAndRebuildsTheSerialNumber) {
    config_.serialForm = qoltsim::SerialForm::Older;
    config_.model = qoltsim::Model::Standard;
    config_.unitNumber = 5;
    config_.hardwareVersion = 10;
    auto& vi = AddInstrument(config_);
    InitAndWaitForLink();
    ASSERT_STREQ(GetSerialNumber(), "KEE1501005");
    ASSERT_FALSE(IsQOLT300R());
    const Block before = vi.InformationBlock();

    EXPECT_EQ(SetDeviceInformation(17, 2, 12, 300), 1);

    EXPECT_STREQ(GetSerialNumber(), "KEE2302-170300");
    EXPECT_TRUE(IsQOLT300R());
    EXPECT_STREQ(GetHWVersion(), "1.2");
    const auto stores = CommandsOf(vi, MessageKind::StoreBlock);
    ASSERT_EQ(stores.size(), 1u);
    Block expected = before;
    expected[3] = 0xFF;
    expected[9] = 2;
    expected[10] = 17;
    expected[11] = 0x01;
    expected[12] = 0x2C;
    expected[13] = 12;
    EXPECT_EQ(stores[0], std::vector<uint8_t>(expected.begin(), expected.end()));
    EXPECT_EQ(vi.InformationBlock(), expected);
}

TEST_F(ManufacturingRecords, AnOlderFormLeavesTheEnhancedFlagAsItWas) {
    config_.model = qoltsim::Model::Enhanced;
    AddInstrument(config_);
    InitAndWaitForLink();
    ASSERT_TRUE(IsQOLT300R());
    EXPECT_EQ(SetDeviceInformation(15, 1, 12, 300), 1);
    EXPECT_STREQ(GetSerialNumber(), "KEE1501300");
    EXPECT_TRUE(IsQOLT300R());
}

TEST_F(ManufacturingRecords, ArgumentsAreTakenModulo256) {
    auto& vi = AddInstrument(config_);
    InitAndWaitForLink();
    EXPECT_EQ(SetDeviceInformation(17 + 256, 1 + 512, 12 - 256, 0x12345), 1);
    const Block stored = vi.InformationBlock();
    EXPECT_EQ(stored[10], 17);
    EXPECT_EQ(stored[9], 1);
    EXPECT_EQ(stored[13], 12);
    EXPECT_EQ(stored[11], 0x23);
    EXPECT_EQ(stored[12], 0x45);
}

struct WriteCase {
    const char* name;
    size_t length;
    size_t changed; // leading bytes of the record that change
};
const WriteCase kWriteCases[] = {{"TwentyBytesWriteSixteen", 20, 16},
                                 {"FiveBytesWriteFive", 5, 5},
                                 {"SixteenBytes", 16, 16},
                                 {"NoBytes", 0, 0}};
void PrintTo(const WriteCase& c, std::ostream* os) {
    *os << c.name;
}

class WriteMfg : public ManufacturingRecords, public ::testing::WithParamInterface<WriteCase> {};

TEST_P(WriteMfg, WritesAtMostSixteenBytesOfTheRecord) {
    auto& vi = AddInstrument(config_);
    InitAndWaitForLink();
    const Block before = vi.InformationBlock();
    std::vector<uint8_t> data(GetParam().length + 1);
    for (size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<uint8_t>(i + 1);

    EXPECT_EQ(WriteMfgInfo(data.data(), GetParam().length), 1);

    Block expected = before;
    expected[3] = 0xFF;
    for (size_t i = 0; i < GetParam().changed; ++i)
        expected[48 + i] = data[i];
    const auto stores = CommandsOf(vi, MessageKind::StoreBlock);
    ASSERT_EQ(stores.size(), 1u);
    EXPECT_EQ(stores[0], std::vector<uint8_t>(expected.begin(), expected.end()));
    EXPECT_EQ(vi.InformationBlock(), expected);

    std::array<uint8_t, 16> read{};
    EXPECT_EQ(ReadMfgInfo(read.data(), read.size()), 1);
    EXPECT_EQ(read, Record(expected));
}

INSTANTIATE_TEST_SUITE_P(Session, WriteMfg, ::testing::ValuesIn(kWriteCases),
                         [](const ::testing::TestParamInfo<WriteCase>& info) { return info.param.name; });

TEST_F(ManufacturingRecords, ReadMfgInfoBeforeAnyConnectionCopiesZeros) {
    std::array<uint8_t, 20> buffer;
    buffer.fill(0xEE);
    EXPECT_EQ(ReadMfgInfo(buffer.data(), buffer.size()), 1);
    for (size_t i = 0; i < 16; ++i)
        EXPECT_EQ(buffer[i], 0) << i;
    for (size_t i = 16; i < buffer.size(); ++i)
        EXPECT_EQ(buffer[i], 0xEE) << i;
}

TEST_F(ManufacturingRecords, ReadMfgInfoCopiesOnlyTheLengthAsked) {
    AddInstrument(config_);
    InitAndWaitForLink();
    std::array<uint8_t, 8> buffer;
    buffer.fill(0xEE);
    EXPECT_EQ(ReadMfgInfo(buffer.data(), 4), 1);
    EXPECT_EQ(buffer, (std::array<uint8_t, 8>{0xA0, 0xA1, 0xA2, 0xA3, 0xEE, 0xEE, 0xEE, 0xEE}));
}

TEST_F(ManufacturingRecords, NullPointersCountAsNoBytes) {
    auto& vi = AddInstrument(config_);
    InitAndWaitForLink();
    const Block before = vi.InformationBlock();
    EXPECT_EQ(ReadMfgInfo(nullptr, 16), 1);
    EXPECT_EQ(WriteMfgInfo(nullptr, 16), 1);
    EXPECT_EQ(Record(vi.InformationBlock()), Record(before));
}

TEST_F(ManufacturingRecords, NothingIsWrittenWithoutACompleteBlockFromThisLink) {
    auto& vi = AddInstrument(config_);
    vi.SetFault(MessageKind::InfoQuery, qoltsim::Fault(qoltsim::FaultKind::Short, 0ms, -1, 30));
    InitAndWaitForLink();
    const uint8_t data[4] = {1, 2, 3, 4};
    EXPECT_EQ(WriteMfgInfo(data, sizeof data), 0);
    EXPECT_EQ(SetDeviceInformation(17, 2, 12, 300), 0);
    const auto recording = vi.Snapshot();
    EXPECT_EQ(recording.CountCommands(MessageKind::StoreBlock), 0u);
    EXPECT_EQ(recording.CountCommands(MessageKind::InfoQuery), 1u); // the identification's only
}

TEST_F(ManufacturingRecords, NothingIsWrittenWhenNotConnected) {
    const uint8_t data[4] = {1, 2, 3, 4};
    EXPECT_EQ(WriteMfgInfo(data, sizeof data), 0);
    EXPECT_EQ(SetDeviceInformation(17, 2, 12, 300), 0);
}

TEST_F(ManufacturingRecords, TheBlockOfAnEndedLinkIsNotWrittenBack) {
    auto& vi = AddInstrument(config_);
    InitAndWaitForLink();
    ASSERT_TRUE(vi.Unplug());
    ASSERT_TRUE(ListenerA().WaitForCount(2));
    const uint8_t data[4] = {1, 2, 3, 4};
    EXPECT_EQ(WriteMfgInfo(data, sizeof data), 0);
    // The record last received is still readable.
    std::array<uint8_t, 16> read{};
    EXPECT_EQ(ReadMfgInfo(read.data(), read.size()), 1);
    EXPECT_EQ(read, config_.manufacturingRecord);
}

TEST_F(ManufacturingRecords, AShortStoreReplyFailsAndKeepsTheBlockAsItWas) {
    auto& vi = AddInstrument(config_);
    InitAndWaitForLink();
    vi.SetFault(MessageKind::StoreBlock, qoltsim::Fault(qoltsim::FaultKind::Short, 0ms, 1, 10));
    const uint8_t data[3] = {7, 8, 9};
    EXPECT_EQ(WriteMfgInfo(data, sizeof data), 0);
    std::array<uint8_t, 16> read{};
    ReadMfgInfo(read.data(), read.size());
    EXPECT_EQ(read, config_.manufacturingRecord);
    // The next write works from the block as last received complete.
    EXPECT_EQ(WriteMfgInfo(data, sizeof data), 1);
    ReadMfgInfo(read.data(), read.size());
    EXPECT_EQ(read[0], 7);
    EXPECT_EQ(read[3], 0xA3);
}

TEST_F(ManufacturingRecords, ExchangesWhileStreamingAreNotDisturbedByThePollThread) {
    config_.pacing = qoltsim::Pacing::Fast;
    auto& vi = AddInstrument(config_);
    InitAndWaitForLink();
    {
        CAutoCriticalSection lock(g_APICriticalSection);
        s_ECGGoing = true;
    }
    ASSERT_TRUE(vi.SendDataRequest(false));
    ASSERT_TRUE(vi.WaitForPackets(5, kWait));
    for (int i = 0; i < 5; ++i) {
        const uint8_t data[1] = {static_cast<uint8_t>(i)};
        EXPECT_EQ(WriteMfgInfo(data, 1), 1) << i;
        EXPECT_EQ(GetAD(), 0x0800) << i;
    }
    const uint64_t packets = vi.Snapshot().totalPackets;
    ASSERT_TRUE(vi.WaitForPackets(packets + 5, kWait)); // the stream went on
    {
        CAutoCriticalSection lock(g_APICriticalSection);
        s_ECGGoing = false;
    }
    EXPECT_EQ(vi.Snapshot().CountViolations(qoltsim::ViolationKind::Unrequested), 0u);
}

} // namespace
