// Recordings loaded from files and played through output function 7 to the virtual instrument: what leaves
// the port is the file's values at the file's rate, once (then 0 V, "S" and the output reported off) or
// looped without end.

#include "playback/PlaybackTestSupport.h"
#include "stream/StreamTestSupport.h"

#include "api/qolt_api.h"

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

} // namespace
