// The Windows port against the virtual instrument under wine: open and claim, identify, reads, the write
// table, close; and the search over the listing.
#include "device/DeviceState.h"
#include "device/InstrumentCommands.h"
#include "device/Platform.h"
#include "device/windows/WinPort.h"
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

TEST_F(WinePort, ANamedPortThatIsNotListedIsNotOpened) {
    EXPECT_FALSE(DoFindDevice(com_ + 1));
    EXPECT_FALSE(IsPortOpen());
}

} // namespace
