// The instrument's identity: the information block's derivations, the text queries and the converter
// reading, against the virtual instrument.
#include "session/SessionTestSupport.h"

#include "api/DeviceInformation.h"
#include "synth/SynthesisState.h"

#include <array>
#include <cstring>

using namespace sessiontest;
using qoltsim::MessageKind;

namespace {

struct BlockCase {
    const char* name;
    qoltsim::Model model;
    int group;
    uint8_t firmwareMajor;
    uint8_t firmwareMinor;
    bool aboveBefore; // g_AboveFWVer5_5 before the link
    const char* serial;
    bool enhanced;
    bool aboveAfter;
};

// Bytes 6-15 "E" "E" 23 model group 0x01 0x2C 12 major minor.
const BlockCase kBlockCases[] = {
    {"NewerFormEnhancedFirmware56", qoltsim::Model::Enhanced, 17, 5, 6, false, "KEE2302-170300", true, true},
    {"NewerFormStandard", qoltsim::Model::Standard, 17, 5, 6, false, "KEE2301-170300", false, true},
    {"OlderFormKeepsTheEnhancedFlag", qoltsim::Model::Enhanced, 15, 5, 6, false, "KEE1502300", false, true},
    {"Firmware54IsNotAbove55", qoltsim::Model::Enhanced, 17, 5, 4, false, "KEE2302-170300", true, false},
    // Each complete block decides the flag, whatever an earlier unit's said.
    {"Firmware54ClearsTheFlagOfAnEarlierUnit", qoltsim::Model::Enhanced, 17, 5, 4, true, "KEE2302-170300",
     true, false},
    {"Firmware55IsAbove84", qoltsim::Model::Enhanced, 17, 5, 5, false, "KEE2302-170300", true, true},
};

void PrintTo(const BlockCase& c, std::ostream* os) {
    *os << c.name;
}

class InformationBlock : public SessionFixture, public ::testing::WithParamInterface<BlockCase> {};

TEST_P(InformationBlock, Derivations) {
    const BlockCase& c = GetParam();
    qoltsim::Config config;
    config.model = c.model;
    config.formGroup = c.group;
    config.serialYear = 23;
    config.unitNumber = 300;
    config.hardwareVersion = 12;
    config.firmwareMajor = c.firmwareMajor;
    config.firmwareMinor = c.firmwareMinor;
    AddInstrument(config);
    g_AboveFWVer5_5 = c.aboveBefore;

    InitAndWaitForLink();

    EXPECT_STREQ(GetSerialNumber(), c.serial);
    EXPECT_STREQ(GetHWInfo(), c.serial);
    EXPECT_STREQ(GetHWVersion(), "1.2");
    const std::string firmware = std::to_string(c.firmwareMajor) + "." + std::to_string(c.firmwareMinor);
    EXPECT_EQ(std::string(GetFWVersion()), firmware);
    EXPECT_EQ(IsQOLT300R(), c.enhanced);
    EXPECT_EQ(g_AboveFWVer5_5, c.aboveAfter);
}

INSTANTIATE_TEST_SUITE_P(Session, InformationBlock, ::testing::ValuesIn(kBlockCases),
                         [](const ::testing::TestParamInfo<BlockCase>& info) { return info.param.name; });

class DeviceIdentityQueries : public SessionFixture {};

TEST_F(DeviceIdentityQueries, TextQueriesAreEmptyBeforeAnyConnection) {
    EXPECT_STREQ(GetSerialNumber(), "");
    EXPECT_STREQ(GetHWInfo(), "");
    EXPECT_STREQ(GetFWVersion(), "");
    EXPECT_STREQ(GetHWVersion(), "");
    EXPECT_FALSE(IsQOLT300R());
}

TEST_F(DeviceIdentityQueries, AShortBlockStillLinksWithTheSerialTextAndFirmwareFlagOff) {
    qoltsim::Config config;
    config.serialText = "K#E E\x01-12";
    auto& vi = AddInstrument(config);
    vi.SetFault(MessageKind::InfoQuery, qoltsim::Fault(qoltsim::FaultKind::Short, 0ms, -1, 20));
    g_AboveFWVer5_5 = true;

    InitAndWaitForLink();

    // Only letters, digits and '-' of the serial reply are kept.
    EXPECT_STREQ(GetSerialNumber(), "KEE-12");
    EXPECT_STREQ(GetHWInfo(), "");
    EXPECT_STREQ(GetFWVersion(), "");
    EXPECT_FALSE(g_AboveFWVer5_5);
    EXPECT_FALSE(g_bDeviceHWInfoValid);
}

TEST_F(DeviceIdentityQueries, SerialNumberIsCutTo31Characters) {
    qoltsim::Config config;
    config.serialText = std::string(36, 'A');
    auto& vi = AddInstrument(config);
    vi.SetFault(MessageKind::InfoQuery, qoltsim::Fault(qoltsim::FaultKind::Short, 0ms, -1, 10));

    InitAndWaitForLink();

    EXPECT_EQ(std::string(GetSerialNumber()), std::string(31, 'A'));
}

TEST_F(DeviceIdentityQueries, USBPortIsTheConnectedNode) {
    AddInstrument(qoltsim::Config());
    InitAndWaitForLink();
    EXPECT_EQ(std::string(GetUSBPort()), NodePath(0));
}

// ---- Converter reading ----------------------------------------------------------------------------

struct ConverterCase {
    const char* name;
    std::vector<uint8_t> reply;
    int expected;
};

const ConverterCase kConverterCases[] = {
    {"MarkerAfterAnotherByte", {0x00, 0xAD, 0x12, 0x34}, 0x1234},
    {"MarkerFirst", {0xAD, 0xBE, 0xEF}, 0xBEEF},
    {"FirstMarkerWins", {0xAD, 0x01, 0x02, 0xAD, 0x03, 0x04}, 0x0102},
    {"MarkerTooLate", {0x00, 0x00, 0xAD, 0x12}, 0},
    {"NoMarker", {0x11, 0x22, 0x33, 0x44}, 0},
    {"TwoBytes", {0xAD, 0x12}, 0},
};

void PrintTo(const ConverterCase& c, std::ostream* os) {
    *os << c.name;
}

class ConverterReading : public SessionFixture, public ::testing::WithParamInterface<ConverterCase> {};

TEST_P(ConverterReading, ScansTheReplyForTheMarker) {
    auto& vi = AddInstrument();
    InitAndWaitForLink();
    vi.SetFault(MessageKind::ConverterQuery,
                qoltsim::Fault(qoltsim::FaultKind::Garbage, 0ms, -1, 0, GetParam().reply));
    EXPECT_EQ(GetAD(), GetParam().expected);
    const auto queries = CommandsOf(vi, MessageKind::ConverterQuery);
    ASSERT_EQ(queries.size(), 1u);
    EXPECT_EQ(queries[0], (std::vector<uint8_t>{0xAD, 0x00, 0x01, 0x00}));
}

INSTANTIATE_TEST_SUITE_P(Session, ConverterReading, ::testing::ValuesIn(kConverterCases),
                         [](const ::testing::TestParamInfo<ConverterCase>& info) { return info.param.name; });

TEST_F(DeviceIdentityQueries, ConverterReadingOfTheInstrument) {
    qoltsim::Config config;
    config.converterValue = 0x0ABC;
    AddInstrument(config);
    InitAndWaitForLink();
    EXPECT_EQ(GetAD(), 0x0ABC);
}

TEST_F(DeviceIdentityQueries, ConverterReadingWithoutAnInstrumentIsZero) {
    EXPECT_EQ(GetAD(), 0);
}

TEST_F(DeviceIdentityQueries, ASilentConverterReadsZero) {
    auto& vi = AddInstrument();
    InitAndWaitForLink();
    vi.SetFault(MessageKind::ConverterQuery, qoltsim::Fault(qoltsim::FaultKind::Silent));
    EXPECT_EQ(GetAD(), 0);
}

TEST(DeviceIdentityDerivation, LargestFieldsFitTheTexts) {
    unsigned char block[kDeviceHWInfoSize] = {};
    std::memset(block, 0xFF, sizeof block);
    block[6] = 'E';
    block[7] = 'E';
    ::DeviceIdentity id;
    ASSERT_TRUE(DeriveDeviceIdentity(block, &id));
    EXPECT_STREQ(id.hwInfo, "KEE255255-25565535");
    EXPECT_STREQ(id.fwVer, "255.255");
    EXPECT_STREQ(id.hwVer, "25.5");
    block[10] = 16;
    ASSERT_TRUE(DeriveDeviceIdentity(block, &id));
    EXPECT_STREQ(id.hwInfo, "KEE1625565535");
    EXPECT_FALSE(id.newerForm);
}

TEST(DeviceIdentityDerivation, PeriodOfTheOutputFunction) {
    EXPECT_DOUBLE_EQ(GetTimePeriod(), 1.0 / GetFrequency());
}

} // namespace
