// The virtual instrument as a Windows test program under wine sees it: the Linux qolt-sim serves a
// pseudo-terminal that cmake/wine-sim-run.sh.in links into the wine prefix as COMn and as the instrument
// interface path below; the test lists that path through a table in place of SetupAPI.
#pragma once

#include "windows/UsbTableSource.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <chrono>
#include <cstdlib>
#include <functional>
#include <string>
#include <thread>

namespace wintest {

// The interface path the runner links (lower case, as wine's dosdevices folder keeps names).
inline std::wstring SimInterfacePath() {
    return InstrumentPath(L"qolt-sim");
}

// Running under wine rather than Windows.
inline bool UnderWine() {
    HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

// A port whose other end never reads (linked by the runner when it could make one).
inline std::wstring StuckInterfacePath() {
    return InstrumentPath(L"qolt-stuck");
}

inline int SimCom() {
    const char* com = std::getenv("QOLT_TEST_SIM_COM");
    return com != nullptr ? std::atoi(com) : -1;
}

inline std::string SimSerial() {
    const char* serial = std::getenv("QOLT_TEST_SIM_SERIAL");
    return serial != nullptr ? serial : "";
}

// Lists the virtual instrument's interface, after an interface of another device.
class SimListing : public ::testing::Test {
protected:
    void SetUp() override {
        com_ = SimCom();
        if (com_ < 1) {
            GTEST_SKIP() << "no virtual instrument (run through wine-sim-run)";
        }
        table_.SetRows({
            {L"\\\\?\\usb#vid_046d&pid_c52b#mouse#{a5dcbf10-6530-11d2-901f-00c04fb951ed}",
             L"Receiver (COM3)"},
            {SimInterfacePath(), L"Virtual instrument (COM" + std::to_wstring(com_) + L")"},
        });
    }
    std::string ComName() const { return "COM" + std::to_string(com_); }
    // The instrument's interface leaves the listing; returned for a replug.
    TableRow Unplug() { return table_.RemoveLast(); }

    CUsbTableSource table_;
    int com_ = -1;
};

// Waits up to `ms` for `done`.
inline bool Eventually(const std::function<bool()>& done, int ms = 5000) {
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!done()) {
        if (std::chrono::steady_clock::now() > giveUp) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

} // namespace wintest
