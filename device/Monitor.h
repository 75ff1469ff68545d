#pragma once

#include "sync/Event.h"
#include "sync/Threads.h"

#include <atomic>

// Watches for the connected instrument's removal. A thread runs for the library's whole life but only
// watches while enabled (StartMonitor after a link is up, PauseMonitor when the session has ended it).
// When the device node stays away for about 1.5 s it closes the port it watched and calls
// ReconnectDevice, and repeats that every ~1.6 s until paused.
class CAutoMonitor {
public:
    CAutoMonitor();
    // Stops and joins the thread without waiting out its sleeps.
    ~CAutoMonitor();
    CAutoMonitor(const CAutoMonitor&) = delete;
    CAutoMonitor& operator=(const CAutoMonitor&) = delete;

    void StartMonitor();
    void PauseMonitor();
    bool IsMonitored();

private:
    static void* MonitorDeviceThread(void* arg);
    // Sleeps, returning early when the monitor is stopped. False once stopped.
    bool Nap(unsigned milliseconds);
    // Closes the watched port if it is still the link of `generation`, then asks for a reconnect.
    void CloseLostLink(unsigned long generation);

    CManualResetEvent m_hEvent;     // set while monitoring is enabled
    CManualResetEvent m_hStopEvent; // set once, at unload
    ThreadHandle m_hThread{};
    bool m_bThreadStarted = false;
};

extern CAutoMonitor g_AutoMonitor;

// Set once, at unload, to end the monitor thread.
extern std::atomic<int> g_bStopMonitor;
