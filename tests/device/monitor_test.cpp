// The presence test and the device monitor against a virtual instrument that is unplugged and plugged
// back. Times are only checked as "not before": a slow machine makes everything later, never earlier.
#include "support/DeviceFixture.h"

#include "core/SessionSync.h"
#include "device/Platform.h"
#include "device/posix/Monitor.h"

#include <dirent.h>
#include <dlfcn.h>
#include <limits.h>

#include <cstdio>
#include <thread>

using namespace std::chrono_literals;
using devicetest::DeviceTest;
using devicetest::MillisSince;
using devicetest::SteadyClock;

namespace {

std::size_t ThreadCount() {
    std::size_t n = 0;
    if (DIR* dir = opendir("/proc/self/task")) {
        while (dirent* e = readdir(dir)) {
            n += e->d_name[0] != '.' ? 1 : 0;
        }
        closedir(dir);
    }
    return n;
}

// A joined thread can still be listed for a moment while the system finishes its exit (long enough to see
// under an emulator): waits, within a bound, for the count to come down to `expected`.
std::size_t ThreadCountSettlingAt(std::size_t expected) {
    const auto giveUp = SteadyClock::now() + 2s;
    std::size_t count = ThreadCount();
    while (count > expected && SteadyClock::now() < giveUp) {
        std::this_thread::sleep_for(10ms);
        count = ThreadCount();
    }
    return count;
}

class MonitorTest : public DeviceTest {
protected:
    void SetUp() override {
        DeviceTest::SetUp();
        g_AutoMonitor.PauseMonitor();
        g_hReconnectEvent.ResetEvent();
    }
    void TearDown() override {
        g_AutoMonitor.PauseMonitor();
        DeviceTest::TearDown();
    }

    bool ReconnectRequested(std::chrono::milliseconds within) {
        return WaitForSingleObject(&g_hReconnectEvent, static_cast<unsigned>(within.count())) == 0;
    }
};

TEST_F(MonitorTest, PresenceFollowsTheNode) {
    EXPECT_FALSE(DeviceIsAlive());
    auto& vi = AddInstrument(3);
    ASSERT_TRUE(DoFindDevice(3));
    EXPECT_TRUE(DeviceIsAlive());
    ASSERT_TRUE(vi.Unplug());
    EXPECT_FALSE(DeviceIsAlive());
    ASSERT_TRUE(vi.Replug());
    // The name is back, but it names a new device and the open port is hung up.
    EXPECT_FALSE(DeviceIsAlive());
    DeviceClose();
    ASSERT_TRUE(DoFindDevice(3));
    EXPECT_TRUE(DeviceIsAlive());
    // The listing looks for the nodes of the link's own format, whatever is configured later.
    ASSERT_EQ(SetDeviceNodeFormat("/nonexistent/qolt/n%d"), 0);
    EXPECT_TRUE(DeviceIsAlive());
    DeviceClose();
    EXPECT_FALSE(DeviceIsAlive());
}

// A node that names something else than the open port's device: a plain file, or another terminal.
TEST_F(MonitorTest, ANodeThatNoLongerNamesThePortIsNoPresence) {
    auto& vi = AddInstrument(3);
    auto& other = AddInstrument(4);
    ASSERT_TRUE(DoFindDevice(3));
    const std::string node = NodePath(3);
    const std::string slave = vi.SlavePath();
    ASSERT_EQ(unlink(node.c_str()), 0);
    ASSERT_TRUE(devicetest::WriteFileBytes(node, devicetest::Bytes{}));
    EXPECT_FALSE(DeviceIsAlive());
    ASSERT_EQ(unlink(node.c_str()), 0);
    ASSERT_EQ(symlink(other.SlavePath().c_str(), node.c_str()), 0);
    EXPECT_FALSE(DeviceIsAlive());
    ASSERT_EQ(unlink(node.c_str()), 0);
    ASSERT_EQ(symlink(slave.c_str(), node.c_str()), 0);
    EXPECT_TRUE(DeviceIsAlive());
}

TEST_F(MonitorTest, OtherNodesDoNotCountAsPresence) {
    auto& three = AddInstrument(3);
    AddInstrument(4);
    ASSERT_TRUE(DoFindDevice(3));
    ASSERT_TRUE(three.Unplug());
    EXPECT_FALSE(DeviceIsAlive());
}

TEST_F(MonitorTest, PausedMonitorIgnoresALoss) {
    auto& vi = AddInstrument(0);
    ASSERT_TRUE(DoFindDevice(0));
    ASSERT_TRUE(vi.Unplug());
    EXPECT_FALSE(ReconnectRequested(2500ms));
    EXPECT_NE(g_hDevice, -1);
    EXPECT_FALSE(g_AutoMonitor.IsMonitored());
}

TEST_F(MonitorTest, LossClosesThePortThenAsksForAReconnect) {
    auto& vi = AddInstrument(0);
    ASSERT_TRUE(DoFindDevice(0));
    g_AutoMonitor.StartMonitor();
    EXPECT_TRUE(g_AutoMonitor.IsMonitored());
    const auto unplugged = SteadyClock::now();
    ASSERT_TRUE(vi.Unplug());
    ASSERT_TRUE(ReconnectRequested(10000ms));
    EXPECT_GE(MillisSince(unplugged), 1400); // three failing re-checks half a second apart
    // Closed before the request was made.
    EXPECT_EQ(g_hDevice, -1);
    EXPECT_STREQ(g_szDevicePath, "");
    EXPECT_FALSE(devicetest::Exists(LockPath(0)));
}

// The node missing from the listing for a moment (re-created by the system) while the port stays whole.
TEST_F(MonitorTest, ShortGapIsNoLoss) {
    auto& vi = AddInstrument(0);
    ASSERT_TRUE(DoFindDevice(0));
    g_AutoMonitor.StartMonitor();
    SleepEx(100);
    const std::string away = NodePath(0) + ".away";
    ASSERT_EQ(rename(NodePath(0).c_str(), away.c_str()), 0);
    SleepEx(300);
    ASSERT_EQ(rename(away.c_str(), NodePath(0).c_str()), 0);
    ASSERT_TRUE(vi.IsPlugged());
    EXPECT_FALSE(ReconnectRequested(3500ms));
    EXPECT_NE(g_hDevice, -1);
    EXPECT_TRUE(DeviceCheckPath(NodePath(0).c_str()));
}

TEST_F(MonitorTest, RequestRepeatsUntilPaused) {
    auto& vi = AddInstrument(0);
    ASSERT_TRUE(DoFindDevice(0));
    g_AutoMonitor.StartMonitor();
    ASSERT_TRUE(vi.Unplug());
    ASSERT_TRUE(ReconnectRequested(10000ms));
    const auto first = SteadyClock::now();
    ASSERT_TRUE(ReconnectRequested(10000ms));
    EXPECT_GE(MillisSince(first), 1500); // a pause, then three failing re-checks

    g_AutoMonitor.PauseMonitor();
    SleepEx(300); // a request already on its way may still land
    g_hReconnectEvent.ResetEvent();
    EXPECT_FALSE(ReconnectRequested(2000ms));
}

// A decision that took its 1.5 s while the session replaced the link must not close the new one.
TEST_F(MonitorTest, StaleDecisionLeavesANewLinkAlone) {
    auto& vi = AddInstrument(0);
    ASSERT_TRUE(DoFindDevice(0));
    g_AutoMonitor.StartMonitor();
    ASSERT_TRUE(vi.Unplug());
    {
        // As the connection thread does: the link is replaced under the session lock, which the monitor
        // needs for its close; by the time it is released the monitor has long decided.
        CAutoCriticalSection session(g_APICriticalSection);
        SleepEx(3500);
        DeviceClose();
        ASSERT_TRUE(vi.Replug());
        ASSERT_TRUE(DoFindDevice(0));
    }
    EXPECT_FALSE(ReconnectRequested(1500ms));
    EXPECT_NE(g_hDevice, -1);
    EXPECT_TRUE(DeviceCheckPath(NodePath(0).c_str()));
}

// Ending the process while the monitor waits for the session lock, which the exiting thread holds:
// the monitor thread ends anyway and is joined.
TEST_F(MonitorTest, UnloadWhileTheSessionLockIsHeldEnds) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    auto& vi = AddInstrument(0);
    ASSERT_TRUE(DoFindDevice(0));
    EXPECT_EXIT(
        {
            g_AutoMonitor.StartMonitor();
            vi.Unplug();
            g_APICriticalSection.Lock();
            SleepEx(3500);
            vi.Stop();
            alarm(20); // a hang ends in SIGALRM, not in success
            exit(0);
        },
        ::testing::ExitedWithCode(0), "");
}

// Loading the library starts its monitor thread; unloading it joins the thread.
TEST(MonitorUnload, LibraryUnloadJoinsTheMonitorThread) {
    char self[PATH_MAX] = {};
    ASSERT_GT(readlink("/proc/self/exe", self, sizeof self - 1), 0);
    std::string library(self);
    library = library.substr(0, library.rfind('/')) + "/../libqolt.so.1";
    if (access(library.c_str(), R_OK) != 0) {
        GTEST_SKIP() << "no shared library beside the tests: " << library;
    }
    const std::size_t before = ThreadCount();
    void* handle = dlopen(library.c_str(), RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(handle, nullptr) << dlerror();
    EXPECT_EQ(ThreadCount(), before + 1);
    EXPECT_NE(dlsym(handle, "SetDeviceNodeFormat"), nullptr);
    EXPECT_EQ(dlclose(handle), 0);
    EXPECT_EQ(ThreadCountSettlingAt(before), before);
}

} // namespace
