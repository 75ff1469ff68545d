// Session calls from several threads at once, hot-plug and the stream running meanwhile; the link-down
// leaves no stream behind; Close returns when the instrument has gone quiet. Run under ThreadSanitizer
// in CI.
#include "session/SessionTestSupport.h"

#include "stream/PacketStream.h"
#include "stream/DataRequests.h"
#include "core/SessionSync.h"
#include "device/Platform.h"
#include "sync/CriticalSection.h"
#include "synth/SynthesisState.h"

#include <array>
#include <atomic>
#include <thread>

using namespace sessiontest;
using qoltsim::MessageKind;

namespace {

void SetStreaming(bool on) {
    CAutoCriticalSection lock(g_APICriticalSection);
    s_ECGGoing = on;
}

bool Streaming() {
    CAutoCriticalSection lock(g_APICriticalSection);
    return s_ECGGoing;
}

class SessionConcurrency : public SessionFixture {};

TEST_F(SessionConcurrency, SessionCallsQueriesAndHotPlugFromSeveralThreads) {
    qoltsim::Config config;
    config.pacing = qoltsim::Pacing::Fast;
    auto& vi = AddInstrument(config);
    std::atomic<bool> stop{false};

    std::thread sessions([&] {
        for (int i = 0; i < 6 && !stop; ++i) {
            Init(i % 2 ? RecordA : RecordB);
            std::this_thread::sleep_for(100ms);
            if (i % 3 == 2)
                Connect(-1, 50);
            Close();
        }
        Init(RecordA);
    });
    std::thread queries([&] {
        while (!stop) {
            char copy[64];
            std::snprintf(copy, sizeof copy, "%s|%s|%s|%s", GetSerialNumber(), GetFWVersion(), GetHWVersion(),
                          GetHWInfo());
            (void)IsConnected();
            (void)IsQOLT300R();
            (void)IsVersion4();
            (void)GetTimePeriod();
            std::snprintf(copy, sizeof copy, "%s", GetUSBPort());
            std::this_thread::sleep_for(1ms);
        }
    });
    std::thread exchanges([&] {
        while (!stop) {
            (void)GetAD();
            std::array<unsigned char, 16> record{};
            ReadMfgInfo(record.data(), record.size());
            RegisterErrorCallback(RecordError);
            RegisterErrorCallback(nullptr);
            std::this_thread::sleep_for(2ms);
        }
    });

    std::this_thread::sleep_for(300ms);
    vi.Unplug();
    std::this_thread::sleep_for(200ms);
    vi.Replug();
    sessions.join();
    // The last Init stands: the link comes up and streams while the other threads go on.
    ASSERT_TRUE(Eventually([] { return IsConnected(); }));
    SetStreaming(true);
    vi.SendDataRequest(true);
    ASSERT_TRUE(vi.WaitFor([](const qoltsim::Recording& r) { return r.totalPackets >= 20; }, kWait));
    stop = true;
    queries.join();
    exchanges.join();

    Close();
    EXPECT_FALSE(IsConnected());
    EXPECT_FALSE(Streaming());
    const size_t heard = ListenerA().Count() + ListenerB().Count();
    std::this_thread::sleep_for(300ms);
    EXPECT_EQ(ListenerA().Count() + ListenerB().Count(), heard);
    EXPECT_EQ(vi.Snapshot().CountViolations(qoltsim::ViolationKind::Unrequested), 0u);
}

TEST_F(SessionConcurrency, LinkDownStopsTheStreamState) {
    qoltsim::Config config;
    config.pacing = qoltsim::Pacing::Fast;
    auto& vi = AddInstrument(config);
    InitAndWaitForLink();
    SetStreaming(true);
    ASSERT_TRUE(vi.SendDataRequest(false));
    ASSERT_TRUE(vi.WaitForPackets(3, kWait));
    {
        CAutoCriticalSection lock(g_APICriticalSection);
        g_bChangeOnNextCycle = true;
    }

    ASSERT_TRUE(vi.Unplug());
    ASSERT_TRUE(ListenerA().WaitForCount(2));

    CAutoCriticalSection lock(g_APICriticalSection);
    EXPECT_FALSE(s_ECGGoing);
    EXPECT_FALSE(g_bChangeOnNextCycle);
}

TEST_F(SessionConcurrency, CloseReturnsWhenTheInstrumentStopsAnsweringMidStream) {
    qoltsim::Config config;
    config.pacing = qoltsim::Pacing::Fast;
    auto& vi = AddInstrument(config);
    InitAndWaitForLink();
    SetStreaming(true);
    ASSERT_TRUE(vi.SendDataRequest(false));
    ASSERT_TRUE(vi.WaitForPackets(3, kWait));
    vi.SetSilent(true);

    Close();

    EXPECT_FALSE(IsConnected());
    EXPECT_EQ(ListenerA().Values(), (std::vector<bool>{true, false}));
}

// Counter of the next sub-packet: it runs on by 50 with every packet built.
uint8_t PacketCounter() {
    CAutoCriticalSection lock(g_APICriticalSection);
    return g_nPacketNumber;
}

int SequenceReports() {
    CAutoCriticalSection lock(g_APICriticalSection);
    return g_nSequenceReports;
}

TEST_F(SessionConcurrency, AStalledPortMakesOneWriteWaitAndDropsTheRequestsQueuedBehindIt) {
    qoltsim::Config config;
    config.pacing = qoltsim::Pacing::Manual;
    auto& vi = AddInstrument(config);
    InitAndWaitForLink();
    ASSERT_EQ(SetOutputFunc(1), 0);
    ASSERT_TRUE(vi.WaitForPackets(1, kWait));

    // The instrument stops taking data. Requests one at a time fill the port until a packet write waits
    // out its time.
    vi.SetTakingInput(false);
    const unsigned long before = _PortWriteTimeouts();
    for (int i = 0; i < 1000 && _PortWriteTimeouts() == before; ++i) {
        const uint8_t counter = PacketCounter();
        ASSERT_TRUE(vi.SendDataRequest(false));
        ASSERT_TRUE(Eventually([&] { return PacketCounter() != counter; }));
    }
    ASSERT_EQ(_PortWriteTimeouts(), before + 1);

    // Three requests in one read, and a report behind them that tells when the read has been handled.
    const uint8_t counter = PacketCounter();
    ASSERT_TRUE(vi.SendRaw(
        {'N', 'N', 'N', 'S', '0', '0', '0', '0', '0', '0', '0', '0', '0', '0', '0', '0', '0', '0'}));
    ASSERT_TRUE(Eventually([] { return SequenceReports() == 1; }));
    // The first got its packet, which the full port did not take at once; the two behind it were dropped.
    EXPECT_EQ(static_cast<uint8_t>(PacketCounter() - counter), 50);
    EXPECT_EQ(_PortWriteTimeouts(), before + 1);

    // Neither a setting call nor Close waits for the port again.
    EXPECT_EQ(SetAmplitude(200), 0);
    Close();
    EXPECT_EQ(_PortWriteTimeouts(), before + 1);
    EXPECT_FALSE(IsConnected());
    EXPECT_EQ(ListenerA().Values(), (std::vector<bool>{true, false}));
    vi.SetTakingInput(true);
}

} // namespace
