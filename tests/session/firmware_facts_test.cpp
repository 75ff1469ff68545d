// Firmware facts belong to the unit that gave them: the version report's flag, number and full-scale values,
// and the firmware 5.5 flag of the information block. A test rig that swaps units in one process gives each
// unit its own.
#include "stream/StreamTestSupport.h"

#include "stream/DataRequests.h"
#include "stream/OutputStage.h"
#include "synth/SynthesisState.h"

#include <cmath>
#include <ostream>

using namespace streamtest;
using qoltsim::Pacing;
using qoltsim::Report;

namespace {

struct Facts {
    bool version4;
    int number;
    double rangeOff;
    double rangeOn;
    bool above55;
    bool operator==(const Facts& o) const {
        return version4 == o.version4 && number == o.number && rangeOff == o.rangeOff &&
               rangeOn == o.rangeOn && above55 == o.above55;
    }
};

std::ostream& operator<<(std::ostream& os, const Facts& f) {
    return os << "{v4 " << f.version4 << ", number " << f.number << ", ranges " << f.rangeOff << "/"
              << f.rangeOn << ", above 5.5 " << f.above55 << "}";
}

Facts FactsNow() {
    return UnderLock([] {
        return Facts{g_bVersion4 != 0, g_nVersionNumber, g_RangeV4Ch2Off, g_RangeV4Ch2On, g_AboveFWVer5_5};
    });
}

const Facts kLoadTime = {false, 0, 5.0, 4.0, false};

qoltsim::Config Unit(uint16_t number, uint8_t firmwareMinor) {
    qoltsim::Config config;
    config.pacing = Pacing::Manual;
    config.unitNumber = number;
    config.firmwareMajor = 5;
    config.firmwareMinor = firmwareMinor;
    return config;
}

class FirmwareFacts : public StreamFixture {
protected:
    // Links the unit on `node`: the first through Init, later ones after the previous was unplugged. A
    // report, when given, is sent once the link is up and waited for.
    qoltsim::VirtualInstrument& LinkUnit(int node, const qoltsim::Config& config, const char* report) {
        auto& vi = AddInstrument(OnNode(node, config));
        AwaitLink(vi, report);
        return vi;
    }
    void AwaitLink(qoltsim::VirtualInstrument& vi, const char* report) {
        if (links_++ == 0) {
            EXPECT_TRUE(Init(RecordA));
        }
        EXPECT_TRUE(ListenerA().WaitForCount(2 * links_ - 1));
        EXPECT_TRUE(vi.WaitForCommand(MessageKind::EndOfIdentification, 1, kWait));
        if (report != nullptr) {
            EXPECT_TRUE(vi.SendReport(Report::Version, report));
            const int number = std::atoi(report);
            EXPECT_TRUE(Eventually([number] { return FactsNow().number == number; }));
        }
    }
    void Unplug(qoltsim::VirtualInstrument& vi) {
        EXPECT_TRUE(vi.Unplug());
        EXPECT_TRUE(ListenerA().WaitForCount(2 * links_));
    }
    int links_ = 0;
};

struct FactsCase {
    const char* name;
    qoltsim::Config first;
    const char* report; // sent by the first unit; null: none
    Facts firstFacts;
    qoltsim::Config second; // reports nothing
    Facts secondFacts;
};

const FactsCase kFactsCases[] = {
    {"AnotherUnitStartsFromTheLoadTimeFacts",
     Unit(300, 6),
     "4000002",
     {true, 4000002, 5.0, 5.0, true},
     Unit(301, 4),
     kLoadTime},
    {"AnotherUnitWithNewerFirmware",
     Unit(300, 4),
     "4000001",
     {true, 4000001, 5.0, 4.0, false},
     Unit(301, 6),
     {false, 0, 5.0, 4.0, true}},
    // The report is not sent again when the same unit comes back: its facts outlive the link.
    {"TheSameUnitKeepsItsReport",
     Unit(300, 6),
     "4000002",
     {true, 4000002, 5.0, 5.0, true},
     Unit(300, 6),
     {true, 4000002, 5.0, 5.0, true}},
};

void PrintTo(const FactsCase& c, std::ostream* os) {
    *os << c.name;
}

class FactsOfTheNextUnit : public FirmwareFacts, public ::testing::WithParamInterface<FactsCase> {};

TEST_P(FactsOfTheNextUnit, AreItsOwn) {
    const FactsCase& c = GetParam();
    auto& first = LinkUnit(0, c.first, c.report);
    EXPECT_EQ(FactsNow(), c.firstFacts);
    Unplug(first);
    LinkUnit(1, c.second, nullptr);
    EXPECT_EQ(FactsNow(), c.secondFacts);
    EXPECT_EQ(IsVersion4(), c.secondFacts.version4);
}

INSTANTIATE_TEST_SUITE_P(Session, FactsOfTheNextUnit, ::testing::ValuesIn(kFactsCases),
                         [](const ::testing::TestParamInfo<FactsCase>& info) { return info.param.name; });

TEST_F(FirmwareFacts, TheReportingUnitGetsItsFactsBackAfterAnother) {
    auto& a = LinkUnit(0, Unit(300, 6), "4000002");
    const Facts ofA = FactsNow();
    EXPECT_EQ(ofA, (Facts{true, 4000002, 5.0, 5.0, true}));
    Unplug(a);
    auto& b = LinkUnit(1, Unit(301, 4), nullptr);
    EXPECT_EQ(FactsNow(), kLoadTime);
    Unplug(b);
    ASSERT_TRUE(a.Replug());
    AwaitLink(a, nullptr);
    EXPECT_EQ(FactsNow(), ofA);
}

TEST_F(FirmwareFacts, AnotherUnitGetsThePacingLevelAndTheFullScaleOfItsOwnFirmware) {
    auto& a = LinkUnit(0, Unit(300, 6), "4000002");
    Unplug(a);
    auto& b = LinkUnit(1, Unit(301, 6), nullptr);
    // No version report from this unit: it takes the pacing level command.
    ASSERT_EQ(SetPacingAmplitude(1.0), 0);
    ASSERT_EQ(SetOutputFunc(16), 0); // no waveform: only the pulses
    ASSERT_TRUE(b.WaitForPackets(1, kWait));
    ASSERT_EQ(SetOutputFunc(0), 0);
    ASSERT_EQ(SetPacingAmplitude(0.0), 0);
    EXPECT_EQ(Sent(b, MessageKind::PacingLevelLow), (std::vector<std::vector<uint8_t>>{{0x09, 0x0B, 0x2A}}));
    // With the variable offset on it decodes against 4, and is coded for it: a 2.5 square is 2.5.
    b.ClearRecords();
    ASSERT_EQ(SetDCOffsetVariableMode(true), 0);
    ASSERT_EQ(SetAmplitude(1000.0), 0);
    ASSERT_EQ(SetOutputFunc(3), 0);
    ASSERT_TRUE(b.WaitForPackets(1, kWait));
    Request(b, 1);
    const auto r = b.Snapshot();
    ASSERT_EQ(r.samples.size(), 3000u);
    for (size_t i = 0; i < r.samples.size(); ++i)
        ASSERT_DOUBLE_EQ(std::fabs(r.samples[i].value), 2.5) << i;
}

} // namespace
