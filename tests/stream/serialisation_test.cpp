// Setting calls, changes and packet building from several threads at once: what the instrument receives
// stays a well-formed stream (no half-made change, no packet built twice at once, no packet racing a stream
// start), and neither Close nor a callback that calls the library deadlocks. Run under ThreadSanitizer too.
#include "stream/StreamTestSupport.h"

#include <atomic>
#include <random>
#include <thread>

using namespace streamtest;
using qoltsim::Pacing;

namespace {

class Serialisation : public StreamFixture {};

std::atomic<long> g_graphPoints{0};
std::atomic<long> g_syncCalls{0};
void CountGraph(double, double) {
    ++g_graphPoints;
}
void CountFreqSync(double) {
    ++g_syncCalls;
}
void CountMainFuncSync(int) {
    ++g_syncCalls;
}

// One random setting call. Stops (output 0, with their 300 ms settling pause) are rare so that streams
// run most of the time.
void RandomSettingCall(std::mt19937& rng) {
    auto pick = [&rng](int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng); };
    auto real = [&rng](double lo, double hi) { return std::uniform_real_distribution<double>(lo, hi)(rng); };
    static const int kFunctions[] = {1, 2, 3, 4, 5, 6, 8, 9, 10, 11, 12, 14, 15};
    switch (pick(16)) {
    case 0:
        SetOutputFunc(pick(100) == 0 ? 0 : kFunctions[pick(13)]);
        break;
    case 1:
        SetAmplitude(real(-2000.0, 2000.0));
        break;
    case 2:
        SetFrequency(real(0.1, 60.0));
        break;
    case 3:
        SetPulseWidth(real(2.0, 300.0));
        break;
    case 4:
        SetDCOffset(pick(601) - 300);
        break;
    case 5:
        SetDCOffsetVariableMode(pick(2) == 0);
        break;
    case 6:
        SetOutputLead(pick(9), pick(2) == 0);
        break;
    case 7:
        SetInputImpedanceMode(pick(2) == 0);
        break;
    case 8:
        SetDCOffsetCommonMode(pick(2) == 0);
        break;
    case 9:
        SetQRSDuration(real(5.0, 200.0));
        break;
    case 10:
        SetTWave(real(0.0, 2.5));
        break;
    case 11:
        SetBaselineResetTest(pick(5));
        break;
    case 12:
        SetDynamicRangeTest(pick(2) == 0, real(0.0, 5.0), real(10.0, 50.0));
        break;
    case 13:
        SetSpecialWave227(static_cast<SpecialWave227_E>(pick(10)));
        break;
    case 14:
        SetANE20000Lead(pick(9));
        break;
    default:
        RegisterTimeAmpCB(pick(2) == 0 ? CountGraph : nullptr);
        break;
    }
}

TEST_F(Serialisation, SettingCallsFromTwoThreadsWhileTheInstrumentRequestsAtFullSpeed) {
    auto& vi = Linked(Pacing::Fast);
    RegisterTimeAmpCB(CountGraph);
    RegisterSyncFreqCB(CountFreqSync);
    RegisterSyncMainFuncCB(CountMainFuncSync);
    ASSERT_EQ(SetOutputFunc(1), 0);

    std::atomic<bool> stop{false};
    std::atomic<long> calls{0};
    auto hammer = [&](unsigned seed) {
        std::mt19937 rng(seed);
        while (!stop) {
            RandomSettingCall(rng);
            ++calls;
            // An application between calls: the poll thread gets its turns too.
            std::this_thread::sleep_for(
                std::chrono::microseconds(std::uniform_int_distribution<int>(0, 300)(rng)));
        }
    };
    std::thread a(hammer, 1u);
    std::thread b(hammer, 2u);
    // Three seconds of storm, and on a slow machine (a sanitizer, an emulator, a loaded host) as long as the
    // stream takes to carry its packets through it: what counts is that packets were built among the calls,
    // which no fixed time can promise.
    constexpr long kStormCalls = 100;
    constexpr uint64_t kStormPackets = 50;
    const auto began = Clock::now();
    while (Clock::now() - began < 3s ||
           ((calls < kStormCalls || vi.TotalPackets() <= kStormPackets) && Clock::now() - began < 45s))
        std::this_thread::sleep_for(10ms);
    stop = true;
    a.join();
    b.join();
    const uint64_t stormPackets = vi.TotalPackets();

    // Streaming goes on after the storm, and stops cleanly.
    ASSERT_EQ(SetBaselineResetTest(0), 0);
    if (GetOutputFunc() == 0) {
        ASSERT_EQ(SetOutputFunc(3), 0);
    }
    const uint64_t before = vi.Snapshot().totalPackets;
    ASSERT_TRUE(vi.WaitForPackets(before + 10, kWait));
    ASSERT_EQ(SetOutputFunc(0), 0);
    ASSERT_TRUE(vi.WaitFor(
        [](const qoltsim::Recording& r) { return r.CountEvents(qoltsim::EventKind::StreamStopped) > 0; },
        kWait));
    std::this_thread::sleep_for(200ms);

    const auto r = vi.Snapshot();
    EXPECT_GT(calls.load(), kStormCalls);
    EXPECT_GT(stormPackets, kStormPackets);
    EXPECT_EQ(r.droppedPackets, 0u);
    for (const auto& v : r.violations) {
        ADD_FAILURE() << "packet " << v.packet << ": " << qoltsim::ViolationKindName(v.kind) << " at "
                      << v.offset << " expected " << v.expected << " got " << v.actual;
    }
    for (const auto& p : r.packets) {
        EXPECT_TRUE(p.complete) << p.index;
        if (p.streamStart) {
            EXPECT_EQ(p.firstCounter, 0) << p.index;
        }
    }
    EXPECT_EQ(r.CountCommands(qoltsim::MessageKind::Unknown), 0u);
    EXPECT_FALSE(vi.IsStreaming());
}

TEST_F(Serialisation, CloseWhileSettingCallsRunOnOtherThreadsReturns) {
    auto& vi = Linked(Pacing::Fast);
    ASSERT_EQ(SetOutputFunc(2), 0);
    std::atomic<bool> stop{false};
    auto hammer = [&](unsigned seed) {
        std::mt19937 rng(seed);
        while (!stop)
            RandomSettingCall(rng);
    };
    std::thread a(hammer, 3u);
    std::thread b(hammer, 4u);
    std::this_thread::sleep_for(500ms);
    Close();
    EXPECT_FALSE(IsConnected());
    ASSERT_TRUE(ListenerA().WaitForCount(2));
    EXPECT_EQ(ListenerA().Values()[1], false);
    stop = true;
    a.join();
    b.join();
    // No session: the setting calls are not ready any more.
    EXPECT_EQ(SetAmplitude(10.0), -1);
    EXPECT_TRUE(vi.Snapshot().violations.empty());
}

// A sync callback made inside a setting call runs with the API lock held; a Close from it must not wait
// for the connection thread (which needs that lock to take the link down).
void CloseFromSync(double) {
    Close();
}

TEST_F(Serialisation, CloseFromASyncCallbackInsideASettingCallDoesNotWaitForItself) {
    auto& vi = Linked(Pacing::Fast);
    ASSERT_EQ(SetOutputFunc(1), 0);
    ASSERT_TRUE(vi.WaitForPackets(5, kWait));
    RegisterSyncFreqCB(CloseFromSync);
    EXPECT_EQ(SetBaselineResetTest(1), 0); // tells the callback 50 Hz, which closes
    ASSERT_TRUE(ListenerA().WaitForCount(2));
    EXPECT_EQ(ListenerA().Values()[1], false);
    EXPECT_TRUE(vi.WaitForCommand(qoltsim::MessageKind::Close, 1, kWait));
    EXPECT_FALSE(vi.IsStreaming());
    // The session can be started again.
    ASSERT_TRUE(Init(RecordB));
    ASSERT_TRUE(ListenerB().WaitForCount(1));
}

// The graph callback comes from the poll thread, with the API lock held, in the middle of a packet.
std::atomic<int> g_closeAt{-1};
std::atomic<int> g_graphSeen{0};
void CloseFromGraph(double, double) {
    if (g_graphSeen++ == g_closeAt)
        Close();
}

TEST_F(Serialisation, CloseFromTheGraphCallbackEndsTheSessionWithoutTheRestOfThePacket) {
    auto& vi = Linked(Pacing::Fast);
    g_closeAt = 10 * 300 + 150;
    RegisterTimeAmpCB(CloseFromGraph);
    ASSERT_EQ(SetOutputFunc(3), 0);
    ASSERT_TRUE(ListenerA().WaitForCount(2));
    EXPECT_EQ(ListenerA().Values()[1], false);
    // The instrument parses on its own thread: wait until it has taken in the close.
    EXPECT_TRUE(vi.WaitForCommand(qoltsim::MessageKind::Close, 1, kWait));
    const auto r = vi.Snapshot();
    EXPECT_EQ(r.totalPackets, 10u);
    EXPECT_TRUE(r.violations.empty());
    EXPECT_EQ(r.CountCommands(qoltsim::MessageKind::StopStream), 1u);
    EXPECT_EQ(r.CountCommands(qoltsim::MessageKind::Close), 1u);
}

} // namespace
