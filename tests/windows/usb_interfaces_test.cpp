// The instrument's interfaces in the USB listing: COM numbers from friendly names, the vendor and product
// filter, the index loop, and what discovery makes of them (no USB devices needed).
#include "device/DeviceState.h"
#include "device/Platform.h"
#include "device/windows/UsbInterfaces.h"
#include "windows/UsbTableSource.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using wintest::CUsbTableSource;
using wintest::InstrumentPath;

TEST(ComNumberFromFriendlyName, ReadsTheNumberInParentheses) {
    struct Case {
        const wchar_t* name;
        int expected;
    } cases[] = {
        {L"USB Serial Device (COM7)", 7},
        {L"(COM1)", 1},
        {L"Signal simulator (COM4096)", 4096},
        {L"COMPOSITE gadget (COM12)", 12},           // letters before the port are not the port
        {L"Port (COM3) again (COM9)", 9},            // the last one names the port
        {L"USB Serial Device", -1},                  // no port
        {L"USB Serial Device (COM)", -1},            // no number
        {L"USB Serial Device (COM7", -1},            // not closed
        {L"USB Serial Device (COM7a)", -1},          // not a number
        {L"USB Serial Device (COM0)", -1},           // below the range
        {L"USB Serial Device (COM4097)", -1},        // above it
        {L"USB Serial Device (COM99999999999)", -1}, // would overflow
        {L"USB Serial Device (com7)", -1},           // the system spells it in capitals
        {L"", -1},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ComNumberFromFriendlyName(c.name), c.expected) << std::wstring(c.name).size();
    }
    EXPECT_EQ(ComNumberFromFriendlyName(nullptr), -1);
}

TEST(IsInstrumentInterface, NeedsTheVendorAndProductInThePath) {
    EXPECT_TRUE(IsInstrumentInterface(InstrumentPath(L"5&1a2b3c&0&2").c_str()));
    EXPECT_TRUE(
        IsInstrumentInterface(L"\\\\?\\USB#VID_04D8&PID_000A#x#{a5dcbf10-6530-11d2-901f-00c04fb951ed}"));
    EXPECT_FALSE(
        IsInstrumentInterface(L"\\\\?\\usb#vid_04d8&pid_000b#x#{a5dcbf10-6530-11d2-901f-00c04fb951ed}"));
    EXPECT_FALSE(IsInstrumentInterface(L"\\\\?\\usb#vid_04d9&pid_000a#x"));
    EXPECT_FALSE(IsInstrumentInterface(L"\\\\?\\usb#vid_04d8&pid_000"));
    EXPECT_FALSE(IsInstrumentInterface(L""));
    EXPECT_FALSE(IsInstrumentInterface(nullptr));
}

TEST(ListInstrumentComNumbers, KeepsListingOrderAndSkipsWhatIsNotTheInstrument) {
    CUsbTableSource table;
    table.SetRows({
        {InstrumentPath(L"a"), L"Simulator (COM9)"},
        {L"\\\\?\\usb#vid_046d&pid_c52b#b#{x}", L"Receiver (COM3)"}, // another device
        {L"", L"", UsbEnumStep::Skip},                               // unreadable index
        {InstrumentPath(L"c"), L"Simulator"},                        // no COM number
        {InstrumentPath(L"d"), L"Simulator (COM4)"},
        {InstrumentPath(L"e"), L"Simulator (COM0)"}, // out of range
        {InstrumentPath(L"f"), L"Simulator (COM12)"},
    });
    int ports[8] = {};
    ASSERT_EQ(ListInstrumentComNumbers(table, ports, 8), 3);
    EXPECT_EQ(ports[0], 9);
    EXPECT_EQ(ports[1], 4);
    EXPECT_EQ(ports[2], 12);
    EXPECT_EQ(table.opens, 1);
    EXPECT_EQ(table.closes, 1);
    // The platform's candidates are the same listing.
    int candidates[8] = {};
    ASSERT_EQ(ListCandidatePorts(candidates, 8), 3);
    EXPECT_EQ(candidates[0], 9);
}

TEST(ListInstrumentComNumbers, StopsAtCapacityAndAtAListingThatCannotBeOpened) {
    CUsbTableSource table;
    for (int i = 1; i <= 10; ++i) {
        table.Add({InstrumentPath(std::to_wstring(i).c_str()), L"S (COM" + std::to_wstring(i) + L")"});
    }
    int ports[4] = {};
    EXPECT_EQ(ListInstrumentComNumbers(table, ports, 4), 4);
    EXPECT_EQ(ports[3], 4);
    EXPECT_EQ(ListInstrumentComNumbers(table, ports, 0), 0);
    EXPECT_EQ(ListInstrumentComNumbers(table, nullptr, 4), 0);
    table.refuseOpen = true;
    EXPECT_EQ(ListInstrumentComNumbers(table, ports, 4), 0);
    EXPECT_EQ(table.opens, table.closes);
}

TEST(ListInstrumentComNumbers, AListingThatNeverEndsIsCutOff) {
    struct Endless final : CUsbInterfaceSource {
        unsigned asked = 0;
        bool Open() override { return true; }
        UsbEnumStep Next(unsigned, UsbInterfaceEntry&) override {
            ++asked;
            return UsbEnumStep::Skip;
        }
        void Close() override {}
    } endless;
    int ports[4];
    EXPECT_EQ(ListInstrumentComNumbers(endless, ports, 4), 0);
    EXPECT_GT(endless.asked, 0u);
    EXPECT_LE(endless.asked, 4096u);
}

TEST(FindInstrumentInterface, FindsThePathOfTheNumber) {
    CUsbTableSource table;
    table.SetRows({
        {L"\\\\?\\usb#vid_046d&pid_c52b#b", L"Receiver (COM5)"},
        {InstrumentPath(L"one"), L"Simulator (COM5)"},
        {InstrumentPath(L"two"), L"Simulator (COM6)"},
    });
    wchar_t path[kInterfacePathCapacity];
    ASSERT_TRUE(FindInstrumentInterface(table, 5, path, kInterfacePathCapacity));
    EXPECT_EQ(std::wstring(path), InstrumentPath(L"one"));
    ASSERT_TRUE(FindInstrumentInterface(table, 6, path, kInterfacePathCapacity));
    EXPECT_EQ(std::wstring(path), InstrumentPath(L"two"));
    EXPECT_FALSE(FindInstrumentInterface(table, 7, path, kInterfacePathCapacity));
    EXPECT_FALSE(FindInstrumentInterface(table, -1, path, kInterfacePathCapacity));
    EXPECT_FALSE(FindInstrumentInterface(table, 5, path, 10)); // does not fit: not cut into another path
}

TEST(IsInterfaceListed, ComparesWholePaths) {
    CUsbTableSource table;
    table.SetRows({{InstrumentPath(L"one"), L"Simulator (COM5)"}});
    EXPECT_TRUE(IsInterfaceListed(table, InstrumentPath(L"one").c_str()));
    EXPECT_FALSE(IsInterfaceListed(table, InstrumentPath(L"on").c_str()));
    EXPECT_FALSE(IsInterfaceListed(table, L""));
    EXPECT_FALSE(IsInterfaceListed(table, nullptr));
}

TEST(WindowsDiscovery, PortsOutOfRangeOrNotListedAreRefusedWithoutOpeningAnything) {
    CUsbTableSource table;
    table.SetRows({{InstrumentPath(L"one"), L"Simulator (COM5)"}});
    for (int port : {0, -2, 4097, 100000, 6}) {
        EXPECT_FALSE(DoFindDevice(port)) << port;
        EXPECT_FALSE(IsPortOpen()) << port;
    }
    // Listed, but nothing behind the path.
    EXPECT_FALSE(DoFindDevice(5));
    EXPECT_FALSE(IsPortOpen());
    EXPECT_FALSE(FindDevice(-1, nullptr));
    EXPECT_FALSE(DeviceIsAlive());
    EXPECT_FALSE(DeviceCheckPath(""));
}

TEST(WindowsDiscovery, TheSystemListingOpensAndEnds) {
    // Whatever this machine has plugged in: the listing ends, and every number it gives is a COM number.
    int ports[256];
    const int count = ListCandidatePorts(ports, 256);
    ASSERT_GE(count, 0);
    for (int i = 0; i < count; ++i) {
        EXPECT_GE(ports[i], kMinComNumber);
        EXPECT_LE(ports[i], kMaxComNumber);
    }
}

} // namespace
