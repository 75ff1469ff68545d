// The calls that say what happened: the release, the meaning of a result, and the log at the wire level
// against the virtual instrument.
#include "session/SessionTestSupport.h"

#include "qolt_version.h"

#include <cstring>

using namespace sessiontest;
using qoltsim::MessageKind;

namespace {

TEST(LibraryVersion, TheCallTheHeaderAndVersionAgree) {
    EXPECT_STREQ(GetLibraryVersion(), QOLT_LIBRARY_VERSION);
    EXPECT_STREQ(GetLibraryVersion(), QOLT_VERSION_STRING);
    EXPECT_EQ(QOLT_VERSION_NUMBER, QOLT_LIBRARY_VERSION_MAJOR * 10000 + QOLT_LIBRARY_VERSION_MINOR * 100 +
                                       QOLT_LIBRARY_VERSION_PATCH);
    EXPECT_STREQ(GetSDKVersion(), QOLT_SDK_VERSION_STRING);
}

struct MeaningCase {
    const char* call;
    int code;
    const char* text;
};

const MeaningCase kMeanings[] = {
    {"SetPacingRate", -2, "allowed 10 to 300 per minute"},
    {"SetAmplitude", -3, "not while the baseline-reset test is on"},
    {"SetAmplitude", -1, "no instrument is ready"},
    {"SetAmplitude", 0, "success"},
    // -1 of this call is its own range refusal.
    {"SetANE20000Lead", -1, "allowed leads 0 to 8"},
    {"SetFreqScanSine", -4, "allowed durations 10 to 180 s"},
    {"LoadEEGtxt", -1, "the file cannot be opened, or is not a regular file"},
    {"LoadEEGtxt", 25, "samples loaded"},
    {"LoadEEGbin", 0, "the file holds no samples"},
    {"LoadEEGedf", -2, "no such signal (signals count from 0), or one with no samples per record"},
    // 1 is success for the production calls, 0 their failure.
    {"WriteMfgInfo", 1, "success"},
    {"SetDeviceNodeFormat", -2,
     "the format needs exactly one %d, no other conversion, and paths under 512 bytes"},
    {"SetAmplitude", -9, ""},
    {"NoSuchCall", -2, ""},
    {"", -7, ""},
};

void PrintTo(const MeaningCase& c, std::ostream* os) {
    *os << c.call << " " << c.code;
}

class ResultMeaning : public ::testing::TestWithParam<MeaningCase> {};

TEST_P(ResultMeaning, ShortStaticText) {
    const MeaningCase& c = GetParam();
    const char* text = GetResultMeaning(c.call, c.code);
    ASSERT_NE(text, nullptr);
    EXPECT_STREQ(text, c.text);
    // Static: the same text, not a copy, every time.
    EXPECT_EQ(GetResultMeaning(c.call, c.code), text);
}

INSTANTIATE_TEST_SUITE_P(Table, ResultMeaning, ::testing::ValuesIn(kMeanings));

TEST(ResultMeaningArguments, ANullCallIsAnEmptyText) {
    ASSERT_NE(GetResultMeaning(nullptr, -2), nullptr);
    EXPECT_STREQ(GetResultMeaning(nullptr, -2), "");
}

// Every refusal a setting call returns has its text.
TEST(ResultMeaningArguments, RefusedSettingsHaveTheirText) {
    struct Refused {
        const char* call;
        int code;
    };
    const Refused refused[] = {
        {"SetAmplitude", SetAmplitude(2001.0)},
        {"SetPulseWidth", SetPulseWidth(1.0)},
        {"SetSpecialWave227", SetSpecialWave227(static_cast<SpecialWave227_E>(10))},
        {"SetTWave", SetTWave(3.0)},
        {"SetPacingDuration", SetPacingDuration(5.0)},
        {"SetOvershootTimeConstant", SetOvershootTimeConstant(101)},
        {"SetDeviceNodeFormat", SetDeviceNodeFormat("/dev/tty%s")},
        {"SetLockDirectory", SetLockDirectory("")},
    };
    for (const Refused& r : refused) {
        EXPECT_LT(r.code, 0) << r.call;
        EXPECT_STRNE(GetResultMeaning(r.call, r.code), "") << r.call << " " << r.code;
    }
}

// ---- The log against the virtual instrument ------------------------------------------------------------

struct Line {
    int level;
    std::string text;
    std::thread::id thread;
};

CallLog<Line>& Lines() {
    static CallLog<Line> log;
    return log;
}

void RecordLine(int level, const char* message) {
    Lines().Add({level, message, std::this_thread::get_id()});
}

class WireLog : public SessionFixture {
protected:
    void TearDown() override {
        SessionFixture::TearDown();
        RegisterLogCallback(nullptr, QoltLog_Off);
    }

    static bool Has(const std::vector<Line>& lines, const std::string& text) {
        for (const Line& l : lines) {
            if (l.text == text) {
                return true;
            }
        }
        return false;
    }
};

TEST_F(WireLog, SetBeforeInitItHearsEveryMessageInHexAndOneLinePerPacket) {
    RegisterLogCallback(RecordLine, QoltLog_Wire);
    auto& vi = AddInstrument();
    ASSERT_TRUE(Connect(0, 5000));
    ASSERT_EQ(SetOutputFunc(1), 0);
    ASSERT_TRUE(vi.WaitForPackets(5, kWait));
    Close();
    // Ending the log delivers what was queued.
    RegisterLogCallback(nullptr, QoltLog_Off);

    const auto lines = Lines().Values();
    EXPECT_TRUE(Has(lines, "sent 1 byte: AA")) << "the identify query";
    EXPECT_TRUE(Has(lines, "received 8 bytes: 4B 54 52 58 2D 56 49 31")) << "its reply";
    EXPECT_TRUE(Has(lines, "sent 5 bytes: 12 55 AA 00 00")) << "the information query";
    EXPECT_TRUE(Has(lines, "sent 1 byte: 43")) << "the close command";
    EXPECT_TRUE(Has(lines, "port 0 (" + vi.NodePath() + "): connected")) << "the probe, at the info level";
    // As many packet lines as packets the instrument received, each one line, none with the packet's bytes.
    size_t packetLines = 0;
    for (const Line& l : lines) {
        if (l.text.rfind("sent ", 0) == 0 || l.text.rfind("received ", 0) == 0) {
            EXPECT_EQ(l.level, QoltLog_Wire) << l.text;
        }
        EXPECT_LT(l.text.size(), 256u);
        EXPECT_NE(l.thread, std::this_thread::get_id());
        if (l.text.rfind("sent sample packet: 3200 bytes, 3200 taken, counters ", 0) == 0) {
            ++packetLines;
        }
    }
    EXPECT_GE(packetLines, 5u);
    EXPECT_TRUE(Eventually([&] { return vi.Snapshot().packets.size() == packetLines; }))
        << vi.Snapshot().packets.size() << " packets received, " << packetLines << " logged";
    // Each command the instrument received is in the log as the host sent it.
    size_t commands = 0;
    for (const auto& c : vi.Commands()) {
        if (c.kind == MessageKind::Range) {
            char hex[16];
            std::snprintf(hex, sizeof hex, "%02X %02X", c.bytes[0], c.bytes[1]);
            EXPECT_TRUE(Has(lines, std::string("sent 2 bytes: ") + hex));
            ++commands;
        }
    }
    EXPECT_GT(commands, 0u);
}

TEST_F(WireLog, BelowTheWireLevelTheTrafficIsNotLogged) {
    RegisterLogCallback(RecordLine, QoltLog_Info);
    auto& vi = AddInstrument();
    ASSERT_TRUE(Connect(0, 5000));
    ASSERT_EQ(SetOutputFunc(1), 0);
    ASSERT_TRUE(vi.WaitForPackets(3, kWait));
    Close();
    RegisterLogCallback(nullptr, QoltLog_Off);
    for (const Line& l : Lines().Values()) {
        EXPECT_NE(l.level, QoltLog_Wire) << l.text;
    }
}

} // namespace
