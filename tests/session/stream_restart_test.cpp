// A link that comes back goes on with the output still selected, without any call from the application.
#include "session/SessionTestSupport.h"

#include "core/SessionSync.h"
#include "sync/CriticalSection.h"
#include "synth/SynthesisState.h"

using namespace sessiontest;
using qoltsim::EventKind;
using qoltsim::MessageKind;

namespace {

class StreamRestart : public SessionFixture {};

TEST_F(StreamRestart, TheSelectedOutputStartsAgainWhenTheInstrumentComesBack) {
    qoltsim::Config config;
    config.pacing = qoltsim::Pacing::Fast;
    auto& vi = AddInstrument(config);
    InitAndWaitForLink();
    ASSERT_EQ(SetOutputFunc(1), 0);
    ASSERT_TRUE(vi.WaitForPackets(3, kWait));

    ASSERT_TRUE(vi.Unplug());
    ASSERT_TRUE(ListenerA().WaitForCount(2));
    {
        CAutoCriticalSection lock(g_APICriticalSection);
        EXPECT_FALSE(s_ECGGoing);
    }
    vi.ClearRecords();
    ASSERT_TRUE(vi.Replug());
    ASSERT_TRUE(ListenerA().WaitForCount(3));

    // Range, relays and the first packet go out again, and the instrument's requests keep it going.
    ASSERT_TRUE(vi.WaitForPackets(10, kWait));
    const auto recording = vi.Snapshot();
    EXPECT_EQ(recording.CountEvents(EventKind::StreamStarted), 1u);
    EXPECT_GE(recording.CountCommands(MessageKind::Range), 1u);
    EXPECT_GE(recording.CountCommands(MessageKind::Relays), 1u);
    EXPECT_EQ(recording.CountViolations(qoltsim::ViolationKind::Unrequested), 0u);
    EXPECT_EQ(GetOutputFunc(), 1);
}

TEST_F(StreamRestart, NoOutputSelectedNothingIsStarted) {
    qoltsim::Config config;
    config.pacing = qoltsim::Pacing::Fast;
    auto& vi = AddInstrument(config);
    InitAndWaitForLink();
    ASSERT_TRUE(vi.Unplug());
    ASSERT_TRUE(ListenerA().WaitForCount(2));
    vi.ClearRecords();
    ASSERT_TRUE(vi.Replug());
    ASSERT_TRUE(ListenerA().WaitForCount(3));
    // The identification is all that is sent.
    ASSERT_TRUE(vi.WaitForCommand(MessageKind::EndOfIdentification, 1, kWait));
    std::this_thread::sleep_for(300ms);
    EXPECT_EQ(vi.Snapshot().totalPackets, 0u);
}

} // namespace
