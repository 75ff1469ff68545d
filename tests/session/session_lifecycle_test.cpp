// Session calls against the virtual instrument: Init, Connect, Close, the identification exchange and
// the connection thread's behaviour on hot-plug.
#include "session/SessionTestSupport.h"

#include "api/DeviceInformation.h"
#include "api/Session.h"
#include "api/SessionState.h"
#include "core/SessionSync.h"
#include "device/posix/Monitor.h"
#include "sync/CriticalSection.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <thread>

using namespace sessiontest;
using qoltsim::MessageKind;

namespace {

size_t ThreadCount() {
    size_t count = 0;
    if (DIR* dir = opendir("/proc/self/task")) {
        while (dirent* entry = readdir(dir))
            if (entry->d_name[0] != '.')
                ++count;
        closedir(dir);
    }
    return count;
}

// A joined thread can still be listed for a moment while the system finishes its exit (long enough to see
// under an emulator): waits, within a bound, for the count to come down to `expected`.
size_t ThreadCountSettlingAt(size_t expected) {
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    size_t count = ThreadCount();
    while (count > expected && std::chrono::steady_clock::now() < giveUp) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        count = ThreadCount();
    }
    return count;
}

size_t DescriptorCount() {
    size_t count = 0;
    if (DIR* dir = opendir("/proc/self/fd")) {
        while (dirent* entry = readdir(dir))
            if (entry->d_name[0] != '.')
                ++count;
        closedir(dir);
    }
    return count;
}

bool FileExists(const std::string& path) {
    struct stat st;
    return lstat(path.c_str(), &st) == 0;
}

std::vector<uint8_t> Bytes(std::initializer_list<int> values) {
    std::vector<uint8_t> out;
    for (int v : values)
        out.push_back(static_cast<uint8_t>(v));
    return out;
}

class SessionLifecycle : public SessionFixture {};

// Listener A, which on hearing false first waits for the instrument to take in a "C". The connection thread
// is held in the callback meanwhile, so only a "C" written before the listener was told counts. (The
// instrument's own time of arrival cannot tell: its thread may read the byte after the listener ran.)
qoltsim::VirtualInstrument* s_closeWatch = nullptr;
std::atomic<int> s_closeInBeforeFalse{-1};
void RecordAAfterClose(bool connected) {
    if (!connected && s_closeWatch != nullptr)
        s_closeInBeforeFalse = s_closeWatch->WaitForCommand(MessageKind::Close, 1, kWait) ? 1 : 0;
    RecordA(connected);
}

TEST_F(SessionLifecycle, InitTwiceRunsOneThreadAndTheSecondListenerHearsTheLink) {
    const size_t before = ThreadCount();
    ASSERT_TRUE(Init(RecordA));
    EXPECT_EQ(ThreadCount(), before + 1);
    ASSERT_TRUE(Init(RecordB));
    EXPECT_EQ(ThreadCount(), before + 1);

    AddInstrument();
    ASSERT_TRUE(ListenerB().WaitForCount(1));
    EXPECT_EQ(ListenerB().Values(), std::vector<bool>{true});
    EXPECT_EQ(ListenerA().Count(), 0u);
}

TEST_F(SessionLifecycle, ConnectWithTimeOutZeroReturnsFalseAndTheSearchGoesOn) {
    EXPECT_FALSE(Connect(-1, 0));
    EXPECT_FALSE(IsConnected());
    AddInstrument();
    EXPECT_TRUE(Eventually([] { return IsConnected(); }));
}

TEST_F(SessionLifecycle, ConnectReturnsTrueWhenTheLinkComesUpWithinItsTimeOut) {
    auto& vi = AddInstrument(OnNode(4));
    EXPECT_TRUE(Connect(4, 15000));
    EXPECT_TRUE(IsConnected());
    EXPECT_EQ(std::string(GetUSBPort()), NodePath(4));
    EXPECT_TRUE(vi.WaitForCommand(MessageKind::EndOfIdentification, 1, kWait));
}

TEST_F(SessionLifecycle, ConnectToAnotherPortThanTheInstrumentsTimesOut) {
    AddInstrument(OnNode(2));
    EXPECT_FALSE(Connect(3, 1500));
    EXPECT_FALSE(IsConnected());
}

TEST_F(SessionLifecycle, ConnectWhileLinkedReturnsFalseAfterItsTimeOut) {
    AddInstrument();
    ASSERT_TRUE(Connect(-1, 15000));
    EXPECT_FALSE(Connect(-1, 300));
    EXPECT_TRUE(IsConnected());
}

TEST_F(SessionLifecycle, IdentificationExchangeByteForByte) {
    auto& vi = AddInstrument(OnNode(7));
    ASSERT_TRUE(Connect(-1, 15000));
    ASSERT_TRUE(vi.WaitForCommand(MessageKind::EndOfIdentification, 1, kWait));

    std::vector<std::vector<uint8_t>> exchange;
    for (const auto& c : vi.Commands())
        exchange.push_back(c.bytes);
    const std::vector<std::vector<uint8_t>> expected = {
        Bytes({0xAA}),                         // identify (discovery)
        Bytes({0xAA}),                         // identify (identification)
        Bytes({'U'}),                          // serial text
        Bytes({0x12, 0x55, 0xAA, 0x00, 0x00}), // information query
        Bytes({'D', 0x01, '7'}),               // port tag: last character of ".../ttyACM7"
        Bytes({0x08}),                         // end of identification
    };
    ASSERT_GE(exchange.size(), expected.size());
    exchange.resize(expected.size());
    EXPECT_EQ(exchange, expected);
}

TEST_F(SessionLifecycle, CloseWithNoSessionSendsNothingAndReturns) {
    auto& vi = AddInstrument();
    Close();
    Close();
    EXPECT_FALSE(IsConnected());
    std::this_thread::sleep_for(200ms); // anything sent would have been taken in by now
    EXPECT_TRUE(vi.Commands().empty());
}

TEST_F(SessionLifecycle, CloseWithALinkResetsSendsCThenTheListenerHearsFalseAndNothingAfter) {
    auto& vi = AddInstrument();
    s_closeWatch = &vi;
    ASSERT_TRUE(Init(RecordAAfterClose));
    ASSERT_TRUE(ListenerA().WaitForCount(1));
    ASSERT_EQ(ListenerA().Values()[0], true);
    ASSERT_EQ(SetAmplitude(500), 0);
    ASSERT_EQ(SetPulseWidth(20), 0);
    RegisterErrorCallback(RecordError);

    Close();

    EXPECT_FALSE(IsConnected());
    EXPECT_EQ(GetAmplitude(), 100.0);
    EXPECT_EQ(GetPulseWidth(), 100.0);
    ASSERT_EQ(ListenerA().Values(), (std::vector<bool>{true, false}));
    ASSERT_TRUE(vi.WaitForCommand(MessageKind::Close, 1, kWait));
    const auto closes = CommandsOf(vi, MessageKind::Close);
    ASSERT_EQ(closes.size(), 1u);
    EXPECT_EQ(closes[0], Bytes({'C'}));
    // "C" is the last thing sent, and it went out before the listener heard false.
    const auto commands = vi.Commands();
    ASSERT_FALSE(commands.empty());
    EXPECT_EQ(commands.back().kind, MessageKind::Close);
    EXPECT_EQ(s_closeInBeforeFalse.load(), 1);

    // Nothing is heard after Close: neither a link (the instrument is still there) nor an error report.
    vi.SendDataRequest(true);
    vi.Unplug();
    vi.Replug();
    std::this_thread::sleep_for(1500ms);
    EXPECT_EQ(ListenerA().Count(), 2u);
    EXPECT_EQ(Errors().Count(), 0u);
    EXPECT_FALSE(IsConnected());
}

TEST_F(SessionLifecycle, InitAfterCloseStartsAfresh) {
    AddInstrument();
    InitAndWaitForLink();
    Close();
    ASSERT_TRUE(Init(RecordB));
    ASSERT_TRUE(ListenerB().WaitForCount(1));
    EXPECT_EQ(ListenerB().Values()[0], true);
    EXPECT_EQ(ListenerA().Values(), (std::vector<bool>{true, false}));
}

TEST_F(SessionLifecycle, UnplugAndReplugReachTheListenerWithoutAnyCall) {
    auto& vi = AddInstrument();
    InitAndWaitForLink();
    ASSERT_STRNE(GetSerialNumber(), "");

    ASSERT_TRUE(vi.Unplug());
    ASSERT_TRUE(ListenerA().WaitForCount(2));
    EXPECT_EQ(ListenerA().Values()[1], false);
    EXPECT_FALSE(IsConnected());
    EXPECT_STREQ(GetSerialNumber(), "");
    EXPECT_STREQ(GetHWInfo(), "");
    EXPECT_STREQ(GetFWVersion(), "");
    EXPECT_STREQ(GetHWVersion(), "");
    EXPECT_STREQ(GetUSBPort(), "");
    EXPECT_FALSE(IsQOLT300R());

    ASSERT_TRUE(vi.Replug());
    ASSERT_TRUE(ListenerA().WaitForCount(3));
    EXPECT_EQ(ListenerA().Values()[2], true);
    EXPECT_TRUE(IsConnected());
    EXPECT_STREQ(GetSerialNumber(), "KEE2301-170300");
}

TEST_F(SessionLifecycle, NoThreadDescriptorOrLockOutlivesTheSession) {
    auto& vi = AddInstrument();
    const size_t threads = ThreadCount();
    const size_t descriptors = DescriptorCount();
    InitAndWaitForLink();
    ASSERT_TRUE(vi.Unplug());
    ASSERT_TRUE(ListenerA().WaitForCount(2));
    ASSERT_TRUE(vi.Replug());
    ASSERT_TRUE(ListenerA().WaitForCount(3));
    Close();
    EXPECT_EQ(ThreadCountSettlingAt(threads), threads);
    EXPECT_EQ(DescriptorCount(), descriptors);
    EXPECT_FALSE(FileExists(LockFile(0)));
}

// A port whose instrument fails the identification is let go at once (no descriptor, no lock file) and the
// same scan goes on to the next port.
struct RejectedCase {
    const char* name;
    void (*configure)(qoltsim::Config&);
    size_t identifies;  // identify queries node 0 received
    size_t serials;     // serial queries
    size_t infoQueries; // information queries
};

const RejectedCase kRejectedCases[] = {
    {"WrongIdentifyToken", [](qoltsim::Config& c) { c.identifyReply = "KTRY0000"; }, 1, 0, 0},
    {"ShortSerialReply", [](qoltsim::Config& c) { c.serialText = "KE"; }, 2, 1, 0},
    {"BlockWithoutTheSerialLetters",
     [](qoltsim::Config& c) {
         std::array<uint8_t, qoltsim::kBlockSize> block = qoltsim::BuildInformationBlock(c);
         block[6] = 'F';
         c.block = block;
     },
     2, 1, 1},
};

void PrintTo(const RejectedCase& c, std::ostream* os) {
    *os << c.name;
}

class RejectedPort : public SessionFixture, public ::testing::WithParamInterface<RejectedCase> {};

TEST_P(RejectedPort, IsClosedAndTheScanGoesOnToTheNextPort) {
    qoltsim::Config rejected = OnNode(0);
    rejected.serialYear = 99;
    GetParam().configure(rejected);
    auto& bad = AddInstrument(rejected);
    auto& good = AddInstrument(OnNode(1));

    InitAndWaitForLink();

    EXPECT_EQ(std::string(GetUSBPort()), NodePath(1));
    EXPECT_STREQ(GetSerialNumber(), "KEE2301-170300");
    EXPECT_TRUE(good.WaitForCommand(MessageKind::EndOfIdentification, 1, kWait));
    // Node 0 was tried once in the scan that reached node 1, and let go.
    const auto recording = bad.Snapshot();
    EXPECT_EQ(recording.CountCommands(MessageKind::Identify), GetParam().identifies);
    EXPECT_EQ(recording.CountCommands(MessageKind::SerialQuery), GetParam().serials);
    EXPECT_EQ(recording.CountCommands(MessageKind::InfoQuery), GetParam().infoQueries);
    EXPECT_EQ(recording.CountCommands(MessageKind::PortTag), 0u);
    EXPECT_EQ(recording.CountCommands(MessageKind::EndOfIdentification), 0u);
    EXPECT_FALSE(FileExists(LockFile(0)));
    EXPECT_TRUE(FileExists(LockFile(1)));
}

INSTANTIATE_TEST_SUITE_P(Session, RejectedPort, ::testing::ValuesIn(kRejectedCases),
                         [](const ::testing::TestParamInfo<RejectedCase>& info) { return info.param.name; });

// ---- Session calls from the library's own threads ---------------------------------------------------

std::atomic<int> g_closesFromListener{0};
void CloseOnLink(bool connected) {
    ListenerA().Add(connected);
    if (connected) {
        Close();
        g_closesFromListener++;
    }
}

TEST_F(SessionLifecycle, CloseFromTheListenerEndsTheSessionWithoutWaitingForItself) {
    AddInstrument();
    ASSERT_TRUE(Init(CloseOnLink));
    ASSERT_TRUE(ListenerA().WaitForCount(2));
    EXPECT_EQ(ListenerA().Values(), (std::vector<bool>{true, false}));
    EXPECT_EQ(g_closesFromListener.load(), 1);
    EXPECT_TRUE(Eventually([] { return !IsConnected(); }));

    // The ended thread is joined by the next session call, which starts afresh.
    ASSERT_TRUE(Init(RecordB));
    ASSERT_TRUE(ListenerB().WaitForCount(1));
    EXPECT_EQ(ListenerB().Values()[0], true);
}

void CloseOnError(int code) {
    Errors().Add(code);
    Close();
}

TEST_F(SessionLifecycle, CloseFromTheErrorCallbackEndsTheSession) {
    auto& vi = AddInstrument();
    InitAndWaitForLink();
    RegisterErrorCallback(CloseOnError);
    ASSERT_TRUE(vi.SendDataRequest(true));
    ASSERT_TRUE(Errors().WaitForCount(1));
    ASSERT_TRUE(ListenerA().WaitForCount(2));
    EXPECT_EQ(ListenerA().Values(), (std::vector<bool>{true, false}));
    EXPECT_TRUE(vi.WaitForCommand(MessageKind::Close, 1, kWait));
    EXPECT_TRUE(Eventually([] { return !IsConnected(); }));
}

std::atomic<int> g_initFromListenerResult{-1};
void InitOnLoss(bool connected) {
    ListenerA().Add(connected);
    if (!connected)
        g_initFromListenerResult = Init(RecordB) ? 1 : 0;
}

TEST_F(SessionLifecycle, InitFromTheListenerDuringCloseDoesNotReviveTheSession) {
    AddInstrument();
    ASSERT_TRUE(Init(InitOnLoss));
    ASSERT_TRUE(ListenerA().WaitForCount(1));
    Close();
    EXPECT_EQ(g_initFromListenerResult.load(), 0);
    std::this_thread::sleep_for(1500ms);
    EXPECT_FALSE(IsConnected());
    EXPECT_EQ(ListenerB().Count(), 0u);
}

void ConnectOnLink(bool connected) {
    ListenerA().Add(connected);
    if (connected)
        ListenerB().Add(Connect(-1, 60000));
}

TEST_F(SessionLifecycle, ConnectFromTheListenerReturnsFalseAtOnce) {
    AddInstrument();
    ASSERT_TRUE(Init(ConnectOnLink));
    ASSERT_TRUE(ListenerB().WaitForCount(1));
    EXPECT_EQ(ListenerB().Values()[0], false);
    EXPECT_TRUE(IsConnected());
}

// ---- The link as the listener and IsConnected see it -------------------------------------------------

// A listener that starts the output and then works for a while: the stream must not wait for it.
qoltsim::VirtualInstrument* g_slowListenerInstrument = nullptr;
std::atomic<uint64_t> g_packetsWhileListening{0};
std::atomic<int> g_monitoredWhileListening{-1};
void StartThenWork(bool connected) {
    ListenerA().Add(connected);
    if (!connected)
        return;
    g_monitoredWhileListening = g_AutoMonitor.IsMonitored() ? 1 : 0;
    SetOutputFunc(1);
    std::this_thread::sleep_for(1500ms);
    g_packetsWhileListening = g_slowListenerInstrument->Snapshot().totalPackets;
}

TEST_F(SessionLifecycle, TheStreamRunsWhileTheListenerStillWorks) {
    qoltsim::Config config;
    config.pacing = qoltsim::Pacing::RealTime;
    g_slowListenerInstrument = &AddInstrument(config);
    ASSERT_TRUE(Init(StartThenWork));
    ASSERT_TRUE(ListenerA().WaitForCount(1));
    ASSERT_TRUE(Eventually([] { return g_packetsWhileListening.load() > 0; }));
    // 1.5 s of real-time output holds five packets: the poll thread answered the instrument meanwhile
    // (the first packet alone is all that would come without it).
    EXPECT_GE(g_packetsWhileListening.load(), 3u);
    EXPECT_EQ(g_monitoredWhileListening.load(), 1);
    Close();
}

std::atomic<int> g_connectedAsHeard{0}; // bit 0: IsConnected as "true" was heard; bit 1: as "false"
void RecordIsConnected(bool connected) {
    if (IsConnected())
        g_connectedAsHeard |= connected ? 1 : 2;
    ListenerA().Add(connected);
}

TEST_F(SessionLifecycle, IsConnectedIsTrueFromLinkUpToLinkDownAsTheListenerHearsThem) {
    auto& vi = AddInstrument();
    ASSERT_TRUE(Init(RecordIsConnected));
    ASSERT_TRUE(ListenerA().WaitForCount(1));
    EXPECT_TRUE(IsConnected());
    ASSERT_TRUE(vi.Unplug());
    ASSERT_TRUE(ListenerA().WaitForCount(2));
    EXPECT_FALSE(IsConnected());
    EXPECT_EQ(g_connectedAsHeard.load(), 1);
}

// Serial devices the library opens, probes and lets go: no link comes up with them.
struct ProbedCase {
    const char* name;
    void (*configure)(qoltsim::VirtualInstrument&);
    size_t identifiesPerProbe; // identify queries of one probe
};

const ProbedCase kProbedCases[] = {
    {"Silent", [](qoltsim::VirtualInstrument& vi) { vi.SetSilent(true); }, 1},
    {"WrongIdentifyToken", [](qoltsim::VirtualInstrument& vi) { vi.SetIdentifyReply("KTRY0000"); }, 1},
    {"ShortSerialReply", [](qoltsim::VirtualInstrument& vi) { vi.SetSerialText("KE"); }, 2},
};

void PrintTo(const ProbedCase& c, std::ostream* os) {
    *os << c.name;
}

class ProbedPort : public SessionFixture, public ::testing::WithParamInterface<ProbedCase> {};

TEST_P(ProbedPort, IsNeverReportedConnected) {
    auto& vi = AddInstrument();
    GetParam().configure(vi);
    ASSERT_TRUE(Init(RecordA));
    // Sampled throughout three probes of the port.
    const size_t identifies = 3 * GetParam().identifiesPerProbe;
    bool everConnected = false;
    const auto giveUp = Clock::now() + kWait;
    while (vi.Snapshot().CountCommands(MessageKind::Identify) < identifies && Clock::now() < giveUp) {
        for (int i = 0; i < 100; ++i) {
            everConnected = everConnected || IsConnected();
            std::this_thread::sleep_for(100us);
        }
    }
    EXPECT_GE(vi.Snapshot().CountCommands(MessageKind::Identify), identifies);
    EXPECT_FALSE(everConnected);
    EXPECT_EQ(ListenerA().Count(), 0u);
}

INSTANTIATE_TEST_SUITE_P(Session, ProbedPort, ::testing::ValuesIn(kProbedCases),
                         [](const ::testing::TestParamInfo<ProbedCase>& info) { return info.param.name; });

// Close ends a Connect that waits on another thread, however far its time-out is.

struct WaitingConnectCase {
    const char* name;
    bool linked;       // an instrument is linked (Connect then waits out its time-out)
    bool fromCallback; // Close comes from the error listener (the poll thread), else from this thread
};

const WaitingConnectCase kWaitingConnectCases[] = {
    {"NoInstrumentCloseOnAnotherThread", false, false},
    {"LinkedCloseOnAnotherThread", true, false},
    {"LinkedCloseFromACallback", true, true},
};

void PrintTo(const WaitingConnectCase& c, std::ostream* os) {
    *os << c.name;
}

class WaitingConnect : public SessionFixture, public ::testing::WithParamInterface<WaitingConnectCase> {};

TEST_P(WaitingConnect, ReturnsFalseWhenCloseEndsTheSession) {
    const WaitingConnectCase& c = GetParam();
    qoltsim::VirtualInstrument* vi = nullptr;
    if (c.linked) {
        vi = &AddInstrument();
        InitAndWaitForLink();
    }
    std::atomic<int> result{-1};
    std::thread waiter([&] { result = Connect(-1, 60000) ? 1 : 0; });
    // Connect has replaced the listener: it is waiting.
    ASSERT_TRUE(Eventually([] {
        CAutoCriticalSection lock(g_APICriticalSection);
        return g_Callback == ConnectedHandler;
    }));
    std::this_thread::sleep_for(50ms);
    if (c.fromCallback) {
        RegisterErrorCallback(CloseOnError);
        ASSERT_TRUE(vi->SendDataRequest(true));
    } else {
        Close();
    }
    // Far less than the 60 s Connect was given.
    const bool returned = Eventually([&] { return result.load() != -1; });
    EXPECT_TRUE(returned) << "Connect still waits after Close";
    waiter.join();
    EXPECT_EQ(result.load(), 0);
    EXPECT_TRUE(Eventually([] { return !IsConnected(); }));
}

INSTANTIATE_TEST_SUITE_P(Session, WaitingConnect, ::testing::ValuesIn(kWaitingConnectCases),
                         [](const ::testing::TestParamInfo<WaitingConnectCase>& info) {
                             return info.param.name;
                         });

// ---- Small calls ----------------------------------------------------------------------------------

TEST(SessionSmallCalls, DeviceChangeNotificationAsksForALinkCheck) {
    g_hReconnectEvent.ResetEvent();
    WinEventCb(0x218, 0, 0);
    EXPECT_NE(g_hReconnectEvent.WaitTimeout(0), 0);
    WinEventCb(537, 0x8004, 0);
    EXPECT_EQ(g_hReconnectEvent.WaitTimeout(0), 0);
}

TEST_F(SessionLifecycle, SpecifyCOMPortChoosesThePortOfTheNextAttempt) {
    ASSERT_TRUE(Init(RecordA)); // searches every port
    SpecifyCOMPort(2);
    AddInstrument(OnNode(1));
    auto& chosen = AddInstrument(OnNode(2));
    ASSERT_TRUE(ListenerA().WaitForCount(1));
    EXPECT_EQ(std::string(GetUSBPort()), NodePath(2));
    EXPECT_TRUE(chosen.WaitForCommand(MessageKind::EndOfIdentification, 1, kWait));
}

TEST(SessionSmallCalls, SDKVersion) {
    EXPECT_STREQ(GetSDKVersion(), "1.7.7");
}

TEST(SessionSmallCalls, NotConnectedBeforeAnySession) {
    EXPECT_FALSE(IsConnected());
    EXPECT_STREQ(GetUSBPort(), "");
}

} // namespace
