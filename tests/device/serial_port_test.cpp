// The serial transport against the virtual instrument: the identify query, reads and writes, closing.
#include "support/DeviceFixture.h"

#include "core/InstrumentFacts.h"
#include "device/Platform.h"
#include "device/InstrumentCommands.h"
#include "sync/Threads.h"

#include <atomic>
#include <cstring>
#include <thread>

using namespace std::chrono_literals;
using devicetest::Bytes;
using devicetest::DeviceTest;
using qoltsim::Fault;
using qoltsim::FaultKind;
using qoltsim::MessageKind;

namespace {

struct IdentifyCase {
    const char* name;
    Fault fault;
    bool identified;
};

class IdentifyTest : public DeviceTest, public ::testing::WithParamInterface<IdentifyCase> {};

// The identify query is the last step of opening a port: its answer alone decides the probe.
TEST_P(IdentifyTest, ProbeFollowsTheAnswer) {
    auto& vi = AddInstrument(0);
    vi.SetFault(MessageKind::Identify, GetParam().fault);
    EXPECT_EQ(DoFindDevice(0), GetParam().identified);
    EXPECT_EQ(vi.Snapshot().CountCommands(MessageKind::Identify), 1u);
    if (GetParam().identified) {
        EXPECT_NE(g_hDevice, -1);
        EXPECT_STREQ(g_szDevicePath, NodePath(0).c_str());
    } else {
        EXPECT_EQ(g_hDevice, -1);
        EXPECT_STREQ(g_szDevicePath, "");
        EXPECT_FALSE(devicetest::Exists(LockPath(0)));
    }
}

// And on a port already open it answers the same way.
TEST_P(IdentifyTest, QueryOnAnOpenPortFollowsTheAnswer) {
    auto& vi = AddInstrument(0);
    ASSERT_TRUE(DoFindDevice(0));
    vi.SetFault(MessageKind::Identify, GetParam().fault);
    EXPECT_EQ(IsTargetDevice(), GetParam().identified);
    // The port stays usable: a clean answer afterwards is recognised, whatever was left over.
    vi.ClearFaults();
    SleepEx(600); // past any late answer
    EXPECT_TRUE(IsTargetDevice());
}

void PrintTo(const IdentifyCase& c, std::ostream* os) {
    *os << c.name;
}

INSTANTIATE_TEST_SUITE_P(
    Answers, IdentifyTest,
    ::testing::Values(IdentifyCase{"Token", Fault(), true},
                      IdentifyCase{"TokenThenMore", Fault(FaultKind::Long, 0ms, -1, 200), true},
                      IdentifyCase{"ThreeBytes", Fault(FaultKind::Short, 0ms, -1, 3), false},
                      IdentifyCase{"Silence", Fault(FaultKind::Silent), false},
                      IdentifyCase{"WrongToken", Fault(FaultKind::WrongToken), false},
                      IdentifyCase{"Garbage", Fault(FaultKind::Garbage), false},
                      IdentifyCase{"MuchLater", Fault(FaultKind::Late, 500ms), false},
                      // Within the grace period a slow answer still counts.
                      IdentifyCase{"SlightlyLate", Fault(FaultKind::Late, 30ms), true}),
    [](const ::testing::TestParamInfo<IdentifyCase>& info) { return info.param.name; });

class SerialPortTest : public DeviceTest {};

TEST_F(SerialPortTest, StaleBytesAreDrainedBeforeTheQuery) {
    auto& vi = AddInstrument(0);
    ASSERT_TRUE(DoFindDevice(0));

    // An old answer waiting in the port never counts as the answer.
    vi.SetFault(MessageKind::Identify, Fault(FaultKind::Silent));
    ASSERT_TRUE(vi.SendRaw(devicetest::Bytes{'K', 'T', 'R', 'X', '-', 'O', 'L', 'D'}));
    ASSERT_TRUE(devicetest::PortReadable(2000ms));
    EXPECT_FALSE(IsTargetDevice());

    // Nor does waiting garbage spoil a good answer.
    vi.ClearFaults();
    ASSERT_TRUE(vi.SendRaw(devicetest::Bytes(20, 0xEE)));
    ASSERT_TRUE(devicetest::PortReadable(2000ms));
    EXPECT_TRUE(IsTargetDevice());
}

TEST_F(SerialPortTest, ReadTakesOnlyWhatIsWaitingAndNeverMoreThanAsked) {
    auto& vi = AddInstrument(0);
    ASSERT_TRUE(DoFindDevice(0));
    unsigned char buffer[64];
    EXPECT_EQ(_ReadCOMPort(sizeof buffer, buffer), 0);

    ASSERT_TRUE(vi.SendRaw(devicetest::Bytes(40, 'q')));
    ASSERT_TRUE(devicetest::PortReadable(2000ms));
    SleepEx(50); // let all 40 arrive
    unsigned char small[10 + 4];
    std::memset(small, 0xA5, sizeof small);
    EXPECT_EQ(_ReadCOMPort(10, small), 10);
    for (int i = 10; i < 14; ++i) {
        EXPECT_EQ(small[i], 0xA5) << "byte " << i << " written past the asked length";
    }
    EXPECT_EQ(_ReadCOMPort(sizeof buffer, buffer), 30);
    EXPECT_EQ(_ReadCOMPort(0, buffer), 0);
    EXPECT_EQ(_ReadCOMPort(-5, buffer), 0);
    EXPECT_EQ(_ReadCOMPort(10, nullptr), 0);
}

TEST_F(SerialPortTest, NothingHappensWithoutAPort) {
    unsigned char byte = 'C';
    EXPECT_EQ(_WriteCOMPort(1, &byte, false), 0);
    EXPECT_EQ(_ReadCOMPort(1, &byte), 0);
    EXPECT_FALSE(IsTargetDevice());
    EXPECT_FALSE(DeviceIsAlive());
    EXPECT_FALSE(DeviceCheckPath(""));
    EXPECT_FALSE(DeviceCheckPath(NodePath(0).c_str()));
    DeviceClose();
    DeviceClose();
    DeviceCancelIO();
    SetDeviceTimeoutSetting();
    EXPECT_EQ(g_hDevice, -1);
}

TEST_F(SerialPortTest, CheckPathMatchesOnlyTheConnectedPathExactly) {
    AddInstrument(2);
    ASSERT_TRUE(DoFindDevice(2));
    const std::string path = NodePath(2);
    EXPECT_TRUE(DeviceCheckPath(path.c_str()));
    EXPECT_FALSE(DeviceCheckPath((path + "0").c_str()));
    EXPECT_FALSE(DeviceCheckPath(path.substr(0, path.size() - 1).c_str()));
    EXPECT_FALSE(DeviceCheckPath(""));
    EXPECT_FALSE(DeviceCheckPath(nullptr));
}

TEST_F(SerialPortTest, CloseForgetsThePortAndASecondCloseDoesNothing) {
    AddInstrument(0);
    ASSERT_TRUE(DoFindDevice(0));
    s_bIs300R = true;
    const std::size_t open = devicetest::OpenDescriptors();
    DeviceClose();
    EXPECT_EQ(g_hDevice, -1);
    EXPECT_FALSE(s_bIs300R);
    for (char c : g_szDevicePath) {
        ASSERT_EQ(c, '\0');
    }
    EXPECT_FALSE(DeviceCheckPath(NodePath(0).c_str()));
    EXPECT_EQ(devicetest::OpenDescriptors(), open - 2); // the port and its lock file
    DeviceClose();
    EXPECT_EQ(devicetest::OpenDescriptors(), open - 2);
}

// A write larger than the port can take at once still goes out whole.
TEST_F(SerialPortTest, LargeWriteIsCompleted) {
    auto& vi = AddInstrument(0);
    ASSERT_TRUE(DoFindDevice(0));
    constexpr int kPackets = 64; // 200 KiB: several times what a pseudo-terminal buffers
    std::vector<unsigned char> stream(static_cast<size_t>(kPackets) * kSamplePacketSize, 0);
    for (int p = 0; p < kPackets; ++p) {
        unsigned char* packet = stream.data() + static_cast<size_t>(p) * kSamplePacketSize;
        for (int sub = 0; sub < kSamplePacketSize / 64; ++sub) {
            packet[sub * 64] = 0x01;
            packet[sub * 64 + 1] = static_cast<unsigned char>(p * 50 + sub);
        }
        packet[386] = 'E';
    }
    EXPECT_EQ(_WriteCOMPort(static_cast<int>(stream.size()), stream.data(), false),
              static_cast<int>(stream.size()));
    ASSERT_TRUE(vi.WaitForPackets(kPackets, 30000ms));
    const auto packets = vi.Packets();
    ASSERT_EQ(packets.size(), static_cast<size_t>(kPackets));
    for (const auto& packet : packets) {
        EXPECT_TRUE(packet.complete);
        EXPECT_EQ(packet.size, static_cast<size_t>(kSamplePacketSize));
    }
}

// A port that stops taking bytes holds a write only for a bounded time; the count tells how far it got.
TEST_F(SerialPortTest, WriteToAStuckPortGivesUpWithTheCountSent) {
    int fds[2];
    ASSERT_EQ(pipe2(fds, O_NONBLOCK | O_CLOEXEC), 0);
    g_hDevice = fds[1]; // nobody reads the other end
    std::vector<unsigned char> bytes(1 << 20, 'C');
    const int sent = _WriteCOMPort(static_cast<int>(bytes.size()), bytes.data(), false);
    g_hDevice = -1;
    close(fds[0]);
    close(fds[1]);
    EXPECT_GT(sent, 0);
    EXPECT_LT(sent, static_cast<int>(bytes.size()));
}

TEST_F(SerialPortTest, WriteToAVanishedInstrumentIsAnError) {
    auto& vi = AddInstrument(0);
    ASSERT_TRUE(DoFindDevice(0));
    ASSERT_TRUE(vi.Unplug());
    const unsigned char close = 'C';
    EXPECT_EQ(_WriteCOMPort(1, &close, false), -1);
}

TEST_F(SerialPortTest, WriteRefusesBadArguments) {
    AddInstrument(0);
    ASSERT_TRUE(DoFindDevice(0));
    const unsigned char byte = 'C';
    EXPECT_EQ(_WriteCOMPort(0, &byte, false), 0);
    EXPECT_EQ(_WriteCOMPort(-1, &byte, false), 0);
    EXPECT_EQ(_WriteCOMPort(1, nullptr, false), 0);
}

// Writers on several threads never interleave inside one message.
TEST_F(SerialPortTest, ConcurrentWritesStayWhole) {
    auto& vi = AddInstrument(0);
    ASSERT_TRUE(DoFindDevice(0));
    vi.ClearRecords();
    constexpr int kEach = 200;
    auto writer = [](unsigned char head, unsigned char value) {
        const unsigned char message[] = {head, value, value};
        for (int i = 0; i < kEach; ++i) {
            _WriteCOMPort(sizeof message, message, false);
        }
    };
    std::thread a(writer, kDCOffsetHead, 0x11);
    std::thread b(writer, kPacingLevelHeadFirst, 0x22);
    a.join();
    b.join();
    ASSERT_TRUE(vi.WaitFor(
        [](const qoltsim::Recording& r) {
            return r.CountCommands(MessageKind::VariableDcOffset) +
                       r.CountCommands(MessageKind::PacingLevelLow) >=
                   2 * kEach;
        },
        10000ms));
    const auto recording = vi.Snapshot();
    EXPECT_EQ(recording.CountCommands(MessageKind::VariableDcOffset, qoltsim::MessageStatus::Ok),
              static_cast<size_t>(kEach));
    EXPECT_EQ(recording.CountCommands(MessageKind::PacingLevelLow, qoltsim::MessageStatus::Ok),
              static_cast<size_t>(kEach));
    EXPECT_EQ(recording.CountCommands(MessageKind::Unknown), 0u);
}

// A device that sends without pause cannot hold the identify query in its drain: /dev/zero never runs
// dry (and takes the query byte without a word).
TEST_F(SerialPortTest, DrainOfANeverEndingStreamEnds) {
    const int endless = open("/dev/zero", O_RDWR | O_CLOEXEC);
    ASSERT_GE(endless, 0);
    g_hDevice = endless;
    std::atomic<bool> done{false};
    bool identified = true;
    std::thread query([&] {
        identified = IsTargetDevice();
        done = true;
    });
    const auto giveUp = devicetest::SteadyClock::now() + 20s;
    while (!done && devicetest::SteadyClock::now() < giveUp) {
        std::this_thread::sleep_for(10ms);
    }
    const bool returned = done;
    g_hDevice = -1; // ends an unbounded drain, so the test fails instead of hanging
    query.join();
    close(endless);
    EXPECT_TRUE(returned);
    EXPECT_FALSE(identified);
}

} // namespace
