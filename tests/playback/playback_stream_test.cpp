// Recordings loaded from files and played through output function 7 to the virtual instrument: what leaves
// the port is the file's values at the file's rate, once (then 0 V, "S" and the output reported off) or
// looped without end.

#include "playback/PlaybackTestSupport.h"
#include "stream/StreamTestSupport.h"

#include "api/qolt_api.h"

#include <atomic>
#include <chrono>
#include <cmath>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace streamtest;
using namespace playback_test;
using namespace std::chrono_literals;
using qoltsim::Pacing;

class PlaybackStream : public StreamFixture {
protected:
    TempDir dir;
};

// The code of a recording value in µV at the standard model's gain of 5 (400 codes per volt).
int CodeOf(double microvolts) {
    return 2048 + static_cast<int>(std::lround(microvolts / 1000.0 * 5.0 * 400.0));
}

TEST_F(PlaybackStream, ATextRecordingPlayedOnceEndsWithStopAndOneOutputOffReport) {
    // 400 samples at 1000 per second (0.4 s): a ramp of 2 µV steps, each value held for five output samples.
    std::string text = "1000\n400\n";
    for (int k = 0; k < 400; ++k)
        text += std::to_string(2 * k) + "\n";
    auto& vi = Linked(Pacing::Fast);
    ASSERT_EQ(LoadEEGtxt(Wide(dir.Write("ramp.txt", text)).c_str()), 400);
    ASSERT_EQ(EnablePlayRawDataLoop(false), 0);
    RegisterSyncMainFuncCB(RecordMainFunc);
    ASSERT_EQ(SetOutputFunc(7), 0);
    ASSERT_TRUE(vi.WaitForCommand(MessageKind::StopStream, 1, kWait)) << Describe(vi);
    ASSERT_TRUE(MainFuncSyncs().WaitForCount(1));
    // Nothing more comes once the stream has stopped.
    std::this_thread::sleep_for(300ms);
    EXPECT_EQ(MainFuncSyncs().Values(), std::vector<int>{0});
    EXPECT_EQ(GetOutputFunc(), 0);
    EXPECT_FALSE(vi.IsStreaming());

    const auto r = vi.Snapshot();
    // 2000 output samples of recording, then zeros to the end of the second packet.
    ASSERT_EQ(r.totalPackets, 2u);
    ASSERT_EQ(r.samples.size(), 3000u);
    EXPECT_TRUE(r.violations.empty());
    for (size_t i = 0; i < 3000; ++i) {
        // The sample at a recording sample's edge may fall on either side of it; its middle may not.
        if (i < 2000 && i % 5 == 2) {
            ASSERT_EQ(r.samples[i].code, CodeOf(2.0 * static_cast<double>(i / 5))) << i;
        }
        if (i > 2001) {
            ASSERT_EQ(r.samples[i].code, 2048) << i;
        }
    }
}

TEST_F(PlaybackStream, AnEdfRecordingLoopsWithoutEndUntilTheOutputIsSwitchedOff) {
    // One signal of 100 samples per 1 s record, three records (3 s), ±500 µV over the 16-bit range.
    EdfSpec spec;
    spec.records = 3;
    spec.signals[0].samplesPerRecord = 100;
    spec.signals[0].physicalMin = "-500";
    spec.signals[0].physicalMax = "500";
    auto& vi = Linked(Pacing::Fast);
    ASSERT_EQ(LoadEEGedf(Wide(dir.Write("loop.edf", EdfFile(spec))).c_str(), 0), 300);
    const std::vector<double> values = LoadedValues();
    ASSERT_EQ(values.size(), 300u);
    ASSERT_EQ(EnablePlayRawDataLoop(true), 0);
    RegisterSyncMainFuncCB(RecordMainFunc);
    ASSERT_EQ(SetOutputFunc(7), 0);
    // 4.2 s of output: the whole recording once and a third of it again.
    ASSERT_TRUE(vi.WaitForPackets(14, kWait)) << Describe(vi);
    const auto r = vi.Snapshot();
    EXPECT_TRUE(r.violations.empty());
    EXPECT_TRUE(Sent(vi, MessageKind::StopStream).empty());
    EXPECT_TRUE(MainFuncSyncs().Values().empty());
    EXPECT_EQ(GetOutputFunc(), 7);

    // Each recording sample lasts 50 output samples; its middle one is checked, across the wrap at 3 s.
    ASSERT_GE(r.samples.size(), 21000u);
    int checked = 0;
    for (size_t i = 25; i < 21000; i += 50) {
        const size_t k = (i / 50) % 300;
        ASSERT_NEAR(r.samples[i].code, CodeOf(values[k]), 1) << "output sample " << i << ", recording " << k;
        ++checked;
    }
    EXPECT_EQ(checked, 420);

    ASSERT_EQ(SetOutputFunc(0), 0);
    ASSERT_TRUE(vi.WaitForCommand(MessageKind::StopStream, 1, kWait));
    // The application's own switch is not reported back to it.
    EXPECT_TRUE(MainFuncSyncs().Values().empty());
}

// A text recording of `count` samples at `rate`, sample k being value(k).
template <class Value> std::string TextRecording(double rate, int count, Value value) {
    std::string text = std::to_string(rate) + "\n" + std::to_string(count) + "\n";
    for (int k = 0; k < count; ++k)
        text += std::to_string(value(k)) + "\n";
    return text;
}

// Checks the samples from `first` on against a recording of `count` samples at `rate` played from its
// first sample (looped, or once and 0 V after), for `length` output samples. Only samples well inside a
// recording sample are compared: at an edge the running output time may fall on either side.
template <class Value>
void ExpectPlayedFromTheStart(const std::vector<qoltsim::SampleRecord>& samples, size_t first, size_t length,
                              double rate, int count, bool loop, Value value) {
    ASSERT_GE(samples.size(), first + length);
    const double period = count / rate;
    const OutputClock clock(length, period);
    size_t checked = 0;
    for (size_t j = 0; j < length; ++j) {
        const double position = clock.phases[j] * rate;
        const double fraction = position - std::floor(position);
        if (fraction < 0.3 || fraction > 0.7)
            continue;
        const bool ended = !loop && clock.times[j] >= period;
        const int expected = ended ? 2048 : CodeOf(value(static_cast<int>(position)));
        ASSERT_EQ(samples[first + j].code, expected) << "output sample " << j;
        ++checked;
    }
    EXPECT_GT(checked, length / 5);
}

// ---- A single playback ends after one pass ------------------------------------------------------------

// The recording of the single-playback cases: 0.5 s (2500 output samples) of 2 µV steps.
constexpr int kOnceCount = 500;
constexpr double kOnceRate = 1000.0;
int OnceValue(int k) {
    return 2 * k;
}

// Requests until the stream stops, then checks that it played the recording exactly once: two packets
// (the recording, then 0 V to the end of the second), one "S" after the last packet, the output off and
// reported off once.
class PlaybackOnce : public PlaybackStream {
protected:
    static void ExpectPlayedOnce(qoltsim::VirtualInstrument& vi) {
        ASSERT_TRUE(vi.SendDataRequest(false));
        ASSERT_TRUE(vi.WaitForCommand(MessageKind::StopStream, 1, kWait)) << Describe(vi);
        ASSERT_TRUE(MainFuncSyncs().WaitForCount(1));
        // Nothing more comes once the stream has stopped, whatever the instrument asks.
        ASSERT_TRUE(vi.SendDataRequest(false));
        std::this_thread::sleep_for(300ms);
        EXPECT_EQ(MainFuncSyncs().Values(), std::vector<int>{0});
        EXPECT_EQ(GetOutputFunc(), 0);
        EXPECT_FALSE(vi.IsStreaming());
        const auto r = vi.Snapshot();
        EXPECT_TRUE(r.violations.empty());
        ASSERT_EQ(r.totalPackets, 2u);
        EXPECT_EQ(r.CountCommands(MessageKind::StopStream), 1u);
        // The stop comes after the last packet.
        size_t lastPacket = 0, stop = 0;
        for (size_t i = 0; i < r.commands.size(); ++i) {
            lastPacket = r.commands[i].kind == MessageKind::Packet ? i : lastPacket;
            stop = r.commands[i].kind == MessageKind::StopStream ? i : stop;
        }
        EXPECT_GT(stop, lastPacket);
        ExpectPlayedFromTheStart(r.samples, 0, 3000, kOnceRate, kOnceCount, false, OnceValue);
        // The tail of the last packet is there and is 0 V.
        for (size_t i = 2502; i < 3000; ++i)
            ASSERT_EQ(r.samples[i].code, 2048) << i;
    }
};

struct PendingCase {
    const char* name;
    int (*call)();
};

const PendingCase kPendingCases[] = {
    {"Amplitude", [] { return SetAmplitude(300.0); }},
    {"PulseWidth", [] { return SetPulseWidth(50.0); }},
    {"Frequency", [] { return SetFrequency(20.0); }},
    // Cycles this long take a pending change after the next sample, not at their end.
    {"LongCycleFrequency", [] { return SetFrequency(0.1); }},
    {"DCOffset", [] { return SetDCOffset(0); }},
};

void PrintTo(const PendingCase& c, std::ostream* os) {
    *os << c.name;
}

class PlaybackOncePending : public PlaybackOnce, public ::testing::WithParamInterface<PendingCase> {};

TEST_P(PlaybackOncePending, ASettingCallWhileItPlaysLeavesItPlayingOnce) {
    auto& vi = Linked(Pacing::Manual);
    ASSERT_EQ(
        LoadEEGtxt(Wide(dir.Write("once.txt", TextRecording(kOnceRate, kOnceCount, OnceValue))).c_str()),
        kOnceCount);
    ASSERT_EQ(EnablePlayRawDataLoop(false), 0);
    RegisterSyncMainFuncCB(RecordMainFunc);
    ASSERT_EQ(SetOutputFunc(7), 0);
    ASSERT_TRUE(vi.WaitForPackets(1, kWait));
    // While the first packet plays: the change waits, and the end of the recording comes first.
    ASSERT_EQ(GetParam().call(), 0);
    ExpectPlayedOnce(vi);
}

INSTANTIATE_TEST_SUITE_P(Playback, PlaybackOncePending, ::testing::ValuesIn(kPendingCases),
                         [](const ::testing::TestParamInfo<PendingCase>& info) { return info.param.name; });

// A graph callback that makes one setting call at the first point past the recording's end.
std::atomic<int (*)()> g_callAfterEnd{nullptr};
std::atomic<int> g_callAfterEndResult{1};
void CallAfterTheEnd(double t, double) {
    if (t >= kOnceCount / kOnceRate + 0.01) {
        if (auto call = g_callAfterEnd.exchange(nullptr))
            g_callAfterEndResult = call();
    }
}

class PlaybackOnceCallback : public PlaybackOnce, public ::testing::WithParamInterface<PendingCase> {};

TEST_P(PlaybackOnceCallback, ASettingCallFromTheGraphAfterTheEndLosesNothing) {
    auto& vi = Linked(Pacing::Manual);
    ASSERT_EQ(
        LoadEEGtxt(Wide(dir.Write("once.txt", TextRecording(kOnceRate, kOnceCount, OnceValue))).c_str()),
        kOnceCount);
    ASSERT_EQ(EnablePlayRawDataLoop(false), 0);
    RegisterSyncMainFuncCB(RecordMainFunc);
    g_callAfterEnd = GetParam().call;
    RegisterTimeAmpCB(CallAfterTheEnd);
    ASSERT_EQ(SetOutputFunc(7), 0);
    ASSERT_TRUE(vi.WaitForPackets(1, kWait));
    ExpectPlayedOnce(vi);
    // The call was made, inside the last packet, and succeeded.
    EXPECT_EQ(g_callAfterEnd.load(), nullptr);
    EXPECT_EQ(g_callAfterEndResult, 0);
}

INSTANTIATE_TEST_SUITE_P(Playback, PlaybackOnceCallback, ::testing::ValuesIn(kPendingCases),
                         [](const ::testing::TestParamInfo<PendingCase>& info) { return info.param.name; });

// ---- A recording loaded while playback streams ---------------------------------------------------------

struct ReloadCase {
    const char* name;
    bool loop;
    int firstCount;
    double firstRate;
    int secondCount;
    double secondRate;
};

const ReloadCase kReloadCases[] = {
    {"Longer", true, 300, 1000.0, 700, 1000.0},
    {"Shorter", true, 700, 1000.0, 300, 1000.0},
    {"OtherRate", true, 500, 1000.0, 500, 1250.0},
    {"ShorterPlayedOnce", false, 700, 1000.0, 250, 1000.0},
};

void PrintTo(const ReloadCase& c, std::ostream* os) {
    *os << c.name;
}

int FirstValue(int k) {
    return 2 * (k % 400);
}
int SecondValue(int k) {
    return -2 - 2 * (k % 400);
}

class PlaybackReload : public PlaybackStream, public ::testing::WithParamInterface<ReloadCase> {};

TEST_P(PlaybackReload, RestartsWithTheNewRecordingFromItsFirstSampleAndItsOwnPeriod) {
    const ReloadCase& c = GetParam();
    auto& vi = Linked(Pacing::Manual);
    ASSERT_EQ(
        LoadEEGtxt(Wide(dir.Write("a.txt", TextRecording(c.firstRate, c.firstCount, FirstValue))).c_str()),
        c.firstCount);
    ASSERT_EQ(EnablePlayRawDataLoop(c.loop), 0);
    RegisterSyncMainFuncCB(RecordMainFunc);
    ASSERT_EQ(SetOutputFunc(7), 0);
    ASSERT_TRUE(vi.WaitForPackets(1, kWait));
    Request(vi, 1);
    ASSERT_EQ(
        LoadEEGtxt(Wide(dir.Write("b.txt", TextRecording(c.secondRate, c.secondCount, SecondValue))).c_str()),
        c.secondCount);
    EXPECT_DOUBLE_EQ(GetTimePeriod(), c.secondCount / c.secondRate);
    // Played once, the new recording ends inside the next packet.
    Request(vi, c.loop ? 3 : 1);
    if (!c.loop) {
        ASSERT_TRUE(vi.WaitForCommand(MessageKind::StopStream, 1, kWait)) << Describe(vi);
        ASSERT_TRUE(MainFuncSyncs().WaitForCount(1));
        EXPECT_EQ(MainFuncSyncs().Values(), std::vector<int>{0});
        EXPECT_EQ(GetOutputFunc(), 0);
    } else {
        EXPECT_EQ(GetOutputFunc(), 7);
    }
    const auto r = vi.Snapshot();
    EXPECT_TRUE(r.violations.empty());
    ASSERT_EQ(r.packets.size(), c.loop ? 5u : 3u);
    ExpectPlayedFromTheStart(r.samples, 0, 3000, c.firstRate, c.firstCount, c.loop, FirstValue);
    ExpectPlayedFromTheStart(r.samples, 3000, r.samples.size() - 3000, c.secondRate, c.secondCount, c.loop,
                             SecondValue);
}

INSTANTIATE_TEST_SUITE_P(Playback, PlaybackReload, ::testing::ValuesIn(kReloadCases),
                         [](const ::testing::TestParamInfo<ReloadCase>& info) { return info.param.name; });

} // namespace
