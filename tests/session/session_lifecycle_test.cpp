// Session calls against the virtual instrument: Init, Connect, Close, the identification exchange and
// the connection thread's behaviour on hot-plug.
#include "session/SessionTestSupport.h"

#include "api/DeviceInformation.h"
#include "api/Session.h"
#include "api/SessionSync.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

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
    InitAndWaitForLink();
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
    EXPECT_LE(commands.back().time, ListenerA().Times()[1]);

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
    EXPECT_EQ(ThreadCount(), threads);
    EXPECT_EQ(DescriptorCount(), descriptors);
    EXPECT_FALSE(FileExists(LockFile(0)));
}

TEST_F(SessionLifecycle, APortRejectedByTheIdentificationIsClosedAndTheScanGoesOnToTheNextPort) {
    qoltsim::Config rejected = OnNode(0);
    std::array<uint8_t, qoltsim::kBlockSize> block = qoltsim::BuildInformationBlock(rejected);
    block[6] = 'F';
    rejected.block = block;
    auto& bad = AddInstrument(rejected);
    auto& good = AddInstrument(OnNode(1));

    InitAndWaitForLink();
    EXPECT_EQ(std::string(GetUSBPort()), NodePath(1));
    EXPECT_TRUE(good.WaitForCommand(MessageKind::EndOfIdentification, 1, kWait));
    // Node 0 was identified once, rejected, and let go: no port tag, no lock left behind.
    const auto badRecording = bad.Snapshot();
    EXPECT_EQ(badRecording.CountCommands(MessageKind::InfoQuery), 1u);
    EXPECT_EQ(badRecording.CountCommands(MessageKind::PortTag), 0u);
    EXPECT_FALSE(FileExists(LockFile(0)));
    EXPECT_TRUE(FileExists(LockFile(1)));
}

TEST_F(SessionLifecycle, AnIdentifyReplyWithTheWrongTokenIsNoInstrument) {
    qoltsim::Config config;
    config.identifyReply = "KTRY0000";
    AddInstrument(config);
    EXPECT_FALSE(Connect(-1, 1500));
    EXPECT_FALSE(IsConnected());
    EXPECT_FALSE(FileExists(LockFile(0)));
}

TEST_F(SessionLifecycle, AShortSerialReplyRejectsThePortAndClosesIt) {
    qoltsim::Config config;
    config.serialText = "KE";
    auto& vi = AddInstrument(config);
    EXPECT_FALSE(Connect(-1, 1500));
    EXPECT_FALSE(IsConnected());
    EXPECT_EQ(vi.Snapshot().CountCommands(MessageKind::InfoQuery), 0u);
    EXPECT_FALSE(FileExists(LockFile(0)));
}

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
