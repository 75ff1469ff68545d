#pragma once

#include "sync/Event.h"
#include "sync/Threads.h"

#include <atomic>
#include <mutex>

// The POSIX monitor behind StartMonitor/PauseMonitor/IsMonitored/ShutdownMonitor (device/Platform.h).
// A thread runs from library load until ShutdownMonitor or unload, but only watches while enabled. When
// the device node stays away for about 1.5 s it closes the port it watched and calls ReconnectDevice, and
// repeats that every ~1.6 s until paused. It is never terminated: it ends at its next look at the stop
// event, also while it waits for the session lock.
class CAutoMonitor {
public:
    CAutoMonitor();
    ~CAutoMonitor();
    CAutoMonitor(const CAutoMonitor&) = delete;
    CAutoMonitor& operator=(const CAutoMonitor&) = delete;

    void StartMonitor();
    void PauseMonitor();
    bool IsMonitored();
    // Stops and joins the thread without waiting out its sleeps; once.
    void Shutdown();

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
    std::mutex m_JoinMutex;
};

extern CAutoMonitor g_AutoMonitor;

// Set once, at unload, to end the monitor thread.
extern std::atomic<int> g_bStopMonitor;
