// The macOS build's own platform files (device/macos), linked into this program in place of Linux's: the
// candidate ports from the node listing, the padded writes with their stall and error results, the port
// claimed by the record lock as well as the lock file, and the macOS defaults. What is plain POSIX in them
// runs here against pseudo-terminals.
#include "device/DeviceState.h"
#include "device/Platform.h"
#include "device/posix/BlockWrite.h"
#include "device/posix/LockFile.h"
#include "device/posix/PlatformDefaults.h"
#include "qolt_api.h"
#include "support/PortPair.h"
#include "support/ProcessLock.h"

#include <sys/stat.h>

#include <atomic>
#include <cstring>
#include <thread>

using namespace std::chrono_literals;
using porttest::Bytes;
using porttest::Counting;
using porttest::LockHolder;
using porttest::OtherProcessCanLock;
using porttest::PortPair;

namespace {

class MacVariantTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_dir.Valid());
        ASSERT_EQ(SetDeviceNodeFormat(NodeFormat().c_str()), 0);
        ASSERT_EQ(SetLockDirectory(LockDir().c_str()), 0);
    }
    void TearDown() override {
        m_stopAnswering = true;
        if (m_answerer.joinable()) {
            m_answerer.join();
        }
        DeviceClose();
        SetDeviceNodeFormat(nullptr);
        SetLockDirectory(nullptr);
    }

    std::string NodeFormat() const { return m_dir.Path() + "/cu.usbmodem%d"; }
    std::string LockDir() const { return m_dir.Path() + "/kestrane/lock"; }
    std::string LockPath(int port) const {
        return LockDir() + "/kestrane.ACM" + std::to_string(port) + ".lock";
    }
    // An instrument end on node `port`.
    void Plug(int port) { ASSERT_TRUE(m_pair.Open(m_dir.Path(), "cu.usbmodem" + std::to_string(port))); }
    // The port opened as DoFindDevice opens it, as the library's open port.
    void UsePort() {
        const int fd = m_pair.OpenPort();
        ASSERT_GE(fd, 0);
        g_hDevice = fd;
    }
    // Answers each identify block on the instrument's end with the identify token.
    void AnswerIdentify() {
        m_answerer = std::thread([this] {
            while (!m_stopAnswering) {
                const Bytes got = m_pair.Receive(kPortWriteBlock, 20ms, 0ms);
                if (!got.empty() && got[0] == 0xAA) {
                    m_identifyBlocks += 1;
                    static const char reply[] = "KTRX0300";
                    (void)!write(m_pair.Instrument(), reply, sizeof reply - 1);
                }
            }
        });
    }

    qoltsim::TempDir m_dir{"qolt-macos"};
    PortPair m_pair;
    std::thread m_answerer;
    std::atomic<bool> m_stopAnswering{false};
    std::atomic<int> m_identifyBlocks{0};
};

TEST_F(MacVariantTest, DefaultsAreTheMacNodesAndLockDirectory) {
    EXPECT_STREQ(DefaultDeviceNodeFormat(), "/dev/cu.usbmodem%d");
    EXPECT_STREQ(DefaultLockDirectory(), "/private/var/kestrane/lock");
    EXPECT_TRUE(UsesRecordLock());
}

TEST_F(MacVariantTest, CandidatesAreTheListedNodesWithANumber) {
    for (const char* name : {"cu.usbmodem7", "cu.usbmodemFD121", "cu.usbmodem12"}) {
        const int fd = open((m_dir.Path() + "/" + name).c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
        ASSERT_GE(fd, 0);
        close(fd);
    }
    int ports[8] = {};
    ASSERT_EQ(ListCandidatePorts(ports, 8), 2);
    EXPECT_EQ(ports[0], 12);
    EXPECT_EQ(ports[1], 7);
}

TEST_F(MacVariantTest, ShortWriteGoesOutPaddedAndReportsTheCallersLength) {
    Plug(1);
    UsePort();
    const unsigned char identify = 0xAA;
    EXPECT_EQ(_WriteCOMPort(1, &identify, false), 1);
    Bytes block(kPortWriteBlock, 0);
    block[0] = 0xAA;
    EXPECT_EQ(m_pair.Receive(kPortWriteBlock, 1000ms), block);

    const Bytes packet = Counting(3200);
    EXPECT_EQ(_WriteCOMPort(3200, packet.data(), true), 3200);
    EXPECT_EQ(m_pair.Receive(packet.size(), 2000ms), packet);
}

TEST_F(MacVariantTest, StalledPortCostsOneWaitAndRecoversWhenRead) {
    Plug(1);
    UsePort();
    PortPair::Fill(static_cast<int>(g_hDevice));
    const unsigned long timeouts = _PortWriteTimeouts();
    const Bytes packet = Counting(3200);
    EXPECT_EQ(_WriteCOMPort(3200, packet.data(), false), 0);
    EXPECT_TRUE(_PortWriteStalled());
    EXPECT_EQ(_WriteCOMPort(3200, packet.data(), false), 0);
    EXPECT_EQ(_PortWriteTimeouts(), timeouts + 1);

    m_pair.Receive(1u << 20, 200ms); // the instrument reads again
    EXPECT_EQ(_WriteCOMPort(64, packet.data(), false), 64);
    EXPECT_FALSE(_PortWriteStalled());
}

TEST_F(MacVariantTest, WriteErrorIsMinusOneAndClosedPortIsZero) {
    Plug(1);
    UsePort();
    m_pair.Unplug();
    const unsigned char byte = 0x53;
    EXPECT_EQ(_WriteCOMPort(1, &byte, false), -1);
    DeviceClose();
    EXPECT_EQ(_WriteCOMPort(1, &byte, false), 0);
    EXPECT_EQ(_WriteCOMPort(0, &byte, false), 0);
    EXPECT_EQ(_WriteCOMPort(1, nullptr, false), 0);
}

TEST_F(MacVariantTest, PortRecordLockedByAnotherProcessIsNotProbed) {
    Plug(7);
    AnswerIdentify();
    {
        LockHolder other;
        ASSERT_TRUE(other.Start(m_pair.Path()));
        EXPECT_FALSE(DoFindDevice(7));
        EXPECT_EQ(g_hDevice, -1);
        EXPECT_EQ(m_identifyBlocks, 0);
        struct stat info {};
        EXPECT_NE(stat(LockPath(7).c_str(), &info), 0) << "the lock file outlived the refused probe";
    }
    // Once the other process let go, the port is found, claimed both ways, and released by closing it.
    ASSERT_TRUE(DoFindDevice(7));
    EXPECT_EQ(m_identifyBlocks, 1);
    EXPECT_TRUE(DeviceCheckPath(m_pair.Path().c_str()));
    EXPECT_FALSE(OtherProcessCanLock(m_pair.Path()));
    struct stat info {};
    EXPECT_EQ(stat(LockPath(7).c_str(), &info), 0);
    DeviceClose();
    EXPECT_TRUE(OtherProcessCanLock(m_pair.Path()));
    EXPECT_NE(stat(LockPath(7).c_str(), &info), 0);
}

} // namespace
