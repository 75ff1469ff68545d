// The session under wine against the virtual instrument: connect, identity, the poll loop answering the
// instrument's requests while a waveform streams, close; the device-change window and the re-enumeration
// that ends a link whose interface is gone.
#include "device/Platform.h"
#include "device/windows/Monitor.h"
#include "qolt_api.h"
#include "windows/SimPort.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <string>
#include <thread>

namespace {

using wintest::Eventually;

std::atomic<int> g_links{0};
std::atomic<int> g_losses{0};
std::atomic<long> g_points{0};

void Listener(bool connected) {
    ++(connected ? g_links : g_losses);
}

void CountPoint(double, double) {
    ++g_points;
}

class WineSession : public wintest::SimListing {
protected:
    void SetUp() override {
        SimListing::SetUp();
        g_links = 0;
        g_losses = 0;
        g_points = 0;
    }
    void TearDown() override {
        RegisterTimeAmpCB(nullptr);
        Close();
    }
};

// What a device-change broadcast looks like to every top-level window.
void BroadcastDeviceChange() {
    DWORD_PTR result = 0;
    SendMessageTimeoutW(HWND_BROADCAST, WM_DEVICECHANGE, 0x0007 /* DBT_DEVNODES_CHANGED */, 0,
                        SMTO_ABORTIFHUNG, 2000, &result);
}

TEST_F(WineSession, ConnectsReadsTheIdentityAndCloses) {
    ASSERT_TRUE(Connect(com_, 15000));
    EXPECT_TRUE(IsConnected());
    EXPECT_EQ(std::string(GetSerialNumber()), wintest::SimSerial());
    EXPECT_STRNE(GetFWVersion(), "");
    Close();
    EXPECT_FALSE(IsConnected());
    // The claim went with the close: a second session opens the port again.
    ASSERT_TRUE(Connect(com_, 15000));
    EXPECT_TRUE(IsConnected());
}

TEST_F(WineSession, TheAnyPortSearchFindsTheListedInstrument) {
    ASSERT_TRUE(Connect(-1, 15000));
    EXPECT_TRUE(IsConnected());
}

TEST_F(WineSession, AStreamIsPacedByTheInstrumentsRequests) {
    ASSERT_TRUE(Connect(com_, 15000));
    RegisterTimeAmpCB(CountPoint);
    ASSERT_EQ(SetFrequency(10.0), 0);
    ASSERT_EQ(SetOutputFunc(1), 0);
    // Each packet is computed when the instrument asks for it: points keep coming, a second's worth and
    // more (5000 samples a second).
    ASSERT_TRUE(Eventually([] { return g_points > 0; }, 10000));
    const long first = g_points;
    ASSERT_TRUE(Eventually([&] { return g_points > first + 5000; }, 15000)) << g_points;
    EXPECT_EQ(GetOutputFunc(), 1);
    EXPECT_TRUE(IsConnected());
    ASSERT_EQ(SetOutputFunc(0), 0);
}

TEST_F(WineSession, TheWindowHearsDeviceChangesOnlyWhileALinkIsUp) {
    EXPECT_EQ(MonitorWindow(), nullptr);
    ASSERT_TRUE(Init(Listener));
    ASSERT_TRUE(Eventually([] { return g_links == 1; }, 15000));
    EXPECT_TRUE(IsMonitored());
    ASSERT_TRUE(Eventually([] { return MonitorWindow() != nullptr; }));
    // A notice about some other device: one re-enumeration, and the link stays.
    BroadcastDeviceChange();
    Sleep(500);
    EXPECT_TRUE(IsConnected());
    EXPECT_EQ(g_losses, 0);
    // The instrument's interface is gone: the next notice ends the link.
    Unplug();
    BroadcastDeviceChange();
    ASSERT_TRUE(Eventually([] { return g_losses == 1; }));
    EXPECT_FALSE(IsConnected());
    // The session ended: the window thread is gone with the link.
    EXPECT_TRUE(Eventually([] { return MonitorWindow() == nullptr; }));
    EXPECT_FALSE(IsMonitored());
}

TEST_F(WineSession, TheLinkComesBackWhenTheInterfaceDoes) {
    ASSERT_TRUE(Init(Listener));
    ASSERT_TRUE(Eventually([] { return g_links == 1; }, 15000));
    ASSERT_TRUE(Eventually([] { return MonitorWindow() != nullptr; }));
    const wintest::TableRow row = Unplug();
    BroadcastDeviceChange();
    ASSERT_TRUE(Eventually([] { return g_losses == 1; }));
    table_.Add(row);
    ASSERT_TRUE(Eventually([] { return g_links == 2; }, 15000));
    EXPECT_TRUE(IsConnected());
}

TEST_F(WineSession, CloseEndsTheWindowThread) {
    ASSERT_TRUE(Connect(com_, 15000));
    ASSERT_TRUE(Eventually([] { return MonitorWindow() != nullptr; }));
    Close();
    EXPECT_EQ(MonitorWindow(), nullptr);
    EXPECT_FALSE(IsMonitored());
}

TEST_F(WineSession, AWindowClassNameTakenAlreadyIsSkipped) {
    // Another copy of the library in this process holds the first name.
    wchar_t taken[96];
    FormatMonitorClassName(0, taken, 96);
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = DefWindowProcW;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = taken;
    ASSERT_NE(RegisterClassExW(&wc), 0);
    ASSERT_TRUE(Connect(com_, 15000));
    ASSERT_TRUE(Eventually([] { return MonitorWindow() != nullptr; }));
    wchar_t name[96] = {};
    ASSERT_GT(GetClassNameW(static_cast<HWND>(MonitorWindow()), name, 96), 0);
    wchar_t next[96];
    FormatMonitorClassName(1, next, 96);
    EXPECT_STREQ(name, next);
    Close();
    UnregisterClassW(taken, GetModuleHandleW(nullptr));
}

TEST_F(WineSession, NothingListedMeansNoLinkAndNoHang) {
    Unplug();
    EXPECT_FALSE(Connect(-1, 1500));
    EXPECT_FALSE(IsConnected());
    char report[512];
    EXPECT_GE(GetConnectionReport(report, sizeof report), 0);
}

} // namespace
