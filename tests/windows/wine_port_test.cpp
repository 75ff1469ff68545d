// The Windows port against the virtual instrument under wine: open and claim, identify, reads, the write
// table, close; and the search over the listing.
#include "device/DeviceState.h"
#include "device/InstrumentCommands.h"
#include "device/Platform.h"
#include "device/windows/WinPort.h"
#include "sync/CriticalSection.h"
#include "windows/SimPort.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <string>

namespace {

using wintest::Eventually;
using wintest::SimInterfacePath;

class WinePort : public wintest::SimListing {
protected:
    void TearDown() override { DeviceClose(); }
};

TEST_F(WinePort, OpensIdentifiesAndNamesThePortByItsComNumber) {
    ASSERT_TRUE(DoFindDevice(com_));
    EXPECT_TRUE(IsPortOpen());
    EXPECT_EQ(std::string(g_szDevicePath), ComName());
    EXPECT_TRUE(DeviceCheckPath(ComName().c_str()));
    EXPECT_FALSE(DeviceCheckPath(""));
    EXPECT_TRUE(DeviceIsAlive());
    // The identify query again on the open port.
    EXPECT_TRUE(IsTargetDevice());
    Unplug();
    EXPECT_FALSE(DeviceIsAlive());
}

TEST_F(WinePort, TheOpenPortIsClaimedUntilClosed) {
    if (wintest::UnderWine()) {
        GTEST_SKIP() << "wine does not enforce share modes on serial devices";
    }
    ASSERT_TRUE(DoFindDevice(com_));
    const std::wstring path = SimInterfacePath();
    HANDLE second = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                FILE_FLAG_OVERLAPPED, nullptr);
    EXPECT_EQ(second, INVALID_HANDLE_VALUE);
    if (second != INVALID_HANDLE_VALUE) {
        CloseHandle(second);
    }
    DeviceClose();
    second = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                         FILE_FLAG_OVERLAPPED, nullptr);
    EXPECT_NE(second, INVALID_HANDLE_VALUE);
    if (second != INVALID_HANDLE_VALUE) {
        CloseHandle(second);
    }
}

TEST_F(WinePort, AReadWithNothingWaitingReturnsAtOnce) {
    ASSERT_TRUE(DoFindDevice(com_));
    _DrainCOMPort();
    unsigned char buffer[64];
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(_ReadCOMPort(sizeof buffer, buffer), 0);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(500));
    EXPECT_FALSE(_WaitCOMPortReadable(20));
    // A reply makes the port readable.
    ASSERT_TRUE(SendCommand(kCmdIdentify));
    EXPECT_TRUE(_WaitCOMPortReadable(2000));
    unsigned char reply[kIdentifyReplyCapacity];
    EXPECT_TRUE(IsIdentifyReply(reply, ReadReply(reply, kIdentifyReplyCapacity, kIdentifyReplyMinimum, 5)));
}

TEST_F(WinePort, ClosedPortIsHarmless) {
    ASSERT_TRUE(DoFindDevice(com_));
    DeviceClose();
    DeviceClose();
    EXPECT_FALSE(IsPortOpen());
    unsigned char byte = 'S';
    EXPECT_EQ(_WriteCOMPort(1, &byte, false), 0);
    EXPECT_EQ(_ReadCOMPort(1, &byte), 0);
    EXPECT_FALSE(DeviceCheckPath(ComName().c_str()));
    EXPECT_FALSE(DeviceCheckPath(""));
    EXPECT_FALSE(DeviceIsAlive());
    EXPECT_EQ(PendingPortWrites(), 0);
}

TEST_F(WinePort, MoreWritesThanTableSlotsAreAllDeliveredAndReaped) {
    ASSERT_TRUE(DoFindDevice(com_));
    // Handed over without waiting: the caller's buffer may change at once, the copy goes out.
    unsigned char stop[1];
    for (int i = 0; i < 300; ++i) {
        stop[0] = kCmdStopStream[0];
        ASSERT_EQ(_WriteCOMPort(1, stop, false), 1) << i;
        stop[0] = 0;
    }
    EXPECT_TRUE(Eventually([] { return PendingPortWrites() == 0; }));
    EXPECT_FALSE(_PortWriteStalled());
    EXPECT_EQ(_PortWriteTimeouts(), 0u);
    // The instrument still answers in order after them.
    EXPECT_TRUE(IsTargetDevice());
}

TEST_F(WinePort, CloseWithWritesInFlightLeavesNoneBehindAndThePortOpensAgain) {
    ASSERT_TRUE(DoFindDevice(com_));
    unsigned char stop[1] = {kCmdStopStream[0]};
    for (int i = 0; i < 200; ++i) {
        ASSERT_EQ(_WriteCOMPort(1, stop, false), 1);
    }
    DeviceClose();
    EXPECT_EQ(PendingPortWrites(), 0);
    EXPECT_FALSE(IsPortOpen());
    // Writes the close cancelled are no time-out of the port.
    EXPECT_EQ(_PortWriteTimeouts(), 0u);
    ASSERT_TRUE(DoFindDevice(com_));
    EXPECT_TRUE(IsTargetDevice());
}

TEST_F(WinePort, AWaitedWriteReturnsWhatWasTransferred) {
    ASSERT_TRUE(DoFindDevice(com_));
    EXPECT_EQ(_WriteCOMPort(1, kCmdStopStream, true), 1);
    EXPECT_EQ(PendingPortWrites(), 0);
}

TEST_F(WinePort, TheSearchTriesTheListedInstrumentAndAsksAboutItsComName) {
    static std::string asked;
    asked.clear();
    EXPECT_TRUE(FindDevice(-1, [](char* path) {
        asked = path;
        return true;
    }));
    EXPECT_EQ(asked, ComName());
    EXPECT_TRUE(IsPortOpen());
    // A refused port does not end the search; with nothing else listed it finds nothing.
    EXPECT_FALSE(FindDevice(-1, [](char*) { return false; }));
}

// A port that stops taking bytes: writes pend, the port's time-out (or, past the table's room, the
// library's own wait) ends them, the port counts as stalled and nothing more is queued behind the stuck
// writes; a close cancels what is left and frees nothing the system still holds.
TEST_F(WinePort, APortThatStopsTakingBytesIsStalledAndClosesCleanly) {
    const std::wstring path = wintest::StuckInterfacePath();
    HANDLE handle = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                FILE_FLAG_OVERLAPPED, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        GTEST_SKIP() << "no port without a reader (python3 is needed for one)";
    }
    ASSERT_TRUE(ConfigurePortHandle(handle));
    {
        CAutoCriticalSection lock(g_CriticalSection);
        AdoptPortHandleLocked(handle);
    }
    unsigned char packet[kSamplePacketSize];
    std::memset(packet, 0x08, sizeof packet);
    int handed = 0;
    int refused = 0;
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!_PortWriteStalled() && std::chrono::steady_clock::now() < giveUp) {
        const int n = _WriteCOMPort(sizeof packet, packet, false);
        ASSERT_GE(n, 0);
        (n == static_cast<int>(sizeof packet) ? handed : refused) += 1;
        Sleep(1);
    }
    ASSERT_TRUE(_PortWriteStalled()) << handed << " packets handed over";
    EXPECT_GE(_PortWriteTimeouts(), 1u);
    EXPECT_GT(handed, 0);
    if (PendingPortWrites() > 0) {
        // Stalled with writes still stuck: a new one is refused at once.
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(_WriteCOMPort(sizeof packet, packet, false), 0);
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(500));
    }
    const auto closing = std::chrono::steady_clock::now();
    DeviceClose();
    EXPECT_LT(std::chrono::steady_clock::now() - closing, std::chrono::seconds(5));
    EXPECT_EQ(PendingPortWrites(), 0);
    EXPECT_FALSE(_PortWriteStalled());
}

TEST_F(WinePort, APortThatDoesNotAnswerIsClosedAndTheSearchGoesOn) {
    const std::wstring stuck = wintest::StuckInterfacePath();
    HANDLE probe = CreateFileW(stuck.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                               FILE_FLAG_OVERLAPPED, nullptr);
    if (probe == INVALID_HANDLE_VALUE) {
        GTEST_SKIP() << "no port without a reader (python3 is needed for one)";
    }
    CloseHandle(probe);
    // Listed before the instrument, on the next COM number.
    const wintest::TableRow instrument = Unplug();
    table_.SetRows({{stuck, L"Other device (COM" + std::to_wstring(com_ + 1) + L")"}, instrument});
    EXPECT_FALSE(DoFindDevice(com_ + 1));
    EXPECT_FALSE(IsPortOpen());
    EXPECT_EQ(PendingPortWrites(), 0);
    static std::string asked;
    asked.clear();
    EXPECT_TRUE(FindDevice(-1, [](char* path) {
        asked = path;
        return true;
    }));
    EXPECT_EQ(asked, ComName());
}

TEST_F(WinePort, ANamedPortThatIsNotListedIsNotOpened) {
    EXPECT_FALSE(DoFindDevice(com_ + 1));
    EXPECT_FALSE(IsPortOpen());
}

} // namespace
