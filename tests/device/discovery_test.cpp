// Finding the instrument among the device nodes, against virtual instruments.
#include "support/DeviceFixture.h"

#include "device/Platform.h"
#include "device/posix/LockFile.h"
#include "core/SessionSync.h"

#include <string>
#include <vector>

using namespace std::chrono_literals;
using devicetest::DeviceTest;
using qoltsim::MessageKind;

namespace {

std::vector<std::string> g_accepted;
bool g_acceptResult = true;

bool RecordingAccept(char* path) {
    g_accepted.emplace_back(path);
    return g_acceptResult;
}

class DiscoveryTest : public DeviceTest {
protected:
    void SetUp() override {
        DeviceTest::SetUp();
        g_accepted.clear();
        g_acceptResult = true;
    }
};

TEST_F(DiscoveryTest, AnyPortTakesTheLowestNumberedInstrument) {
    auto& five = AddInstrument(5);
    auto& three = AddInstrument(3);
    EXPECT_TRUE(FindDevice(-1, RecordingAccept));
    ASSERT_EQ(g_accepted.size(), 1u);
    EXPECT_EQ(g_accepted[0], NodePath(3));
    EXPECT_STREQ(g_szDevicePath, NodePath(3).c_str());
    EXPECT_EQ(three.Snapshot().CountCommands(MessageKind::Identify), 1u);
    EXPECT_EQ(five.Snapshot().CountCommands(MessageKind::Identify), 0u);
}

TEST_F(DiscoveryTest, ANamedPortOpensOnlyThatNode) {
    auto& three = AddInstrument(3);
    auto& five = AddInstrument(5);
    EXPECT_TRUE(FindDevice(5, RecordingAccept));
    ASSERT_EQ(g_accepted.size(), 1u);
    EXPECT_EQ(g_accepted[0], NodePath(5));
    EXPECT_EQ(three.Snapshot().CountCommands(MessageKind::Identify), 0u);
    EXPECT_EQ(five.Snapshot().CountCommands(MessageKind::Identify), 1u);
    EXPECT_TRUE(devicetest::Exists(LockPath(5)));
    EXPECT_FALSE(devicetest::Exists(LockPath(3)));
}

TEST_F(DiscoveryTest, NoInstrumentMeansNoPredicateCall) {
    AddInstrument(3);
    EXPECT_FALSE(FindDevice(4, RecordingAccept));
    EXPECT_TRUE(g_accepted.empty());
    EXPECT_EQ(g_hDevice, -1);
}

TEST_F(DiscoveryTest, ScanOfAllPortsWithoutAnInstrumentFails) {
    const std::size_t open = devicetest::OpenDescriptors();
    EXPECT_FALSE(FindDevice(-1, RecordingAccept));
    EXPECT_TRUE(g_accepted.empty());
    EXPECT_EQ(g_hDevice, -1);
    EXPECT_EQ(devicetest::OpenDescriptors(), open);
}

// The highest port the scan probes is 127.
TEST_F(DiscoveryTest, ScanCoversPortsUpTo127) {
    AddInstrument(127);
    EXPECT_TRUE(FindDevice(-1, RecordingAccept));
    EXPECT_STREQ(g_szDevicePath, NodePath(127).c_str());
    DeviceClose();
    g_accepted.clear();
    AddInstrument(128);
    EXPECT_TRUE(FindDevice(-1, RecordingAccept));
    EXPECT_STREQ(g_szDevicePath, NodePath(127).c_str()); // never 128
}

// A node that is no terminal (tcgetattr fails) is closed and skipped, and its lock released.
TEST_F(DiscoveryTest, NodeThatIsNoTerminalIsSkipped) {
    ASSERT_TRUE(devicetest::WriteFileBytes(NodePath(1), devicetest::Bytes(100, 'K')));
    AddInstrument(4);
    const std::size_t open = devicetest::OpenDescriptors();
    EXPECT_FALSE(DoFindDevice(1));
    EXPECT_EQ(g_hDevice, -1);
    EXPECT_FALSE(devicetest::Exists(LockPath(1)));
    EXPECT_EQ(devicetest::OpenDescriptors(), open);
    EXPECT_TRUE(FindDevice(-1, RecordingAccept));
    EXPECT_STREQ(g_szDevicePath, NodePath(4).c_str());
}

// A port the predicate turns down does not end the scan: the next identified port is asked, and the
// refused one, left open by the predicate, is closed by the next probe (no descriptor or lock is lost).
TEST_F(DiscoveryTest, RefusedPortDoesNotEndTheScan) {
    auto& two = AddInstrument(2);
    auto& six = AddInstrument(6);
    const std::size_t open = devicetest::OpenDescriptors();
    g_acceptResult = false;
    EXPECT_FALSE(FindDevice(-1, RecordingAccept));
    ASSERT_EQ(g_accepted.size(), 2u);
    EXPECT_EQ(g_accepted[0], NodePath(2));
    EXPECT_EQ(g_accepted[1], NodePath(6));
    EXPECT_EQ(two.Snapshot().CountCommands(MessageKind::Identify), 1u);
    EXPECT_EQ(six.Snapshot().CountCommands(MessageKind::Identify), 1u);
    // The probes of the higher ports closed what the predicate left.
    EXPECT_EQ(g_hDevice, -1);
    EXPECT_FALSE(devicetest::Exists(LockPath(2)));
    EXPECT_FALSE(devicetest::Exists(LockPath(6)));
    EXPECT_EQ(devicetest::OpenDescriptors(), open);

    g_acceptResult = true;
    EXPECT_TRUE(FindDevice(-1, RecordingAccept));
    EXPECT_STREQ(g_szDevicePath, NodePath(2).c_str());
}

TEST_F(DiscoveryTest, NullPredicateAccepts) {
    AddInstrument(0);
    EXPECT_TRUE(FindDevice(0, nullptr));
}

TEST_F(DiscoveryTest, EachIdentifiedLinkBumpsTheGeneration) {
    AddInstrument(0);
    const unsigned long before = g_nLinkGeneration;
    ASSERT_TRUE(DoFindDevice(0));
    EXPECT_EQ(g_nLinkGeneration, before + 1);
    EXPECT_FALSE(DoFindDevice(7));
    EXPECT_EQ(g_nLinkGeneration, before + 1);
    ASSERT_TRUE(DoFindDevice(0));
    EXPECT_EQ(g_nLinkGeneration, before + 2);
}

// The port is opened close-on-exec, so a child program does not inherit it.
TEST_F(DiscoveryTest, PortAndLockAreCloseOnExec) {
    AddInstrument(0);
    ASSERT_TRUE(DoFindDevice(0));
    EXPECT_NE(fcntl(static_cast<int>(g_hDevice.load()), F_GETFD) & FD_CLOEXEC, 0);
    ASSERT_NE(g_nLockFile, -1);
    EXPECT_NE(fcntl(g_nLockFile, F_GETFD) & FD_CLOEXEC, 0);
}

} // namespace
