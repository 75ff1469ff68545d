#include "api/Session.h"

#include "api/DeviceInformation.h"
#include "api/PollLoop.h"
#include "stream/DataRequests.h"
#include "api/SessionState.h"
#include "core/SessionSync.h"
#include "device/Platform.h"
#include "device/ProbeReport.h"
#include "device/DeviceState.h"
#include "device/InstrumentCommands.h"
#include "device/Platform.h"
#include "sync/CriticalSection.h"
#include "sync/Immortal.h"
#include "sync/Threads.h"
#include "stream/Change.h"
#include "stream/OutputStage.h"
#include "synth/SettingsLock.h"
#include "synth/SynthesisState.h"
#include "synth/WaveformSettings.h"

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace {

// Connect's wait: it ends when a link comes up (ConnectedHandler) or a Close ends the session.
struct ConnectWait {
    std::mutex mutex;
    std::condition_variable changed;
    unsigned long linkUps = 0;
    unsigned long closes = 0;
};
CImmortal<ConnectWait> s_ConnectWaitHolder;
ConnectWait& s_ConnectWait = s_ConnectWaitHolder.value;

// A link is up: from the end of a successful identification to the link-down. Written under
// g_APICriticalSection by the connection thread.
std::atomic<bool> s_bLinkUp{false};

// Serialises Init, Connect and Close made on application threads, so that no Init revives the
// connection thread that a Close is joining. Never taken by the library's own threads.
CImmortal<std::mutex> s_SessionCallMutexHolder;
std::mutex& s_SessionCallMutex = s_SessionCallMutexHolder.value;

// The connection thread: made, and ended by itself (it still has to be joined). Under
// g_APICriticalSection.
ThreadHandle s_hConnectDeviceThread{};
bool s_bConnectThreadExists = false;
bool s_bConnectThreadEnded = false;
// A Close on an application thread is ending the session. Under g_APICriticalSection.
bool s_bClosing = false;

thread_local bool t_bConnectionThread = false;

// The system's device-change notification.
constexpr unsigned kDeviceChangeMessage = 0x219;
constexpr unsigned kTurnPauseMs = 10;
constexpr unsigned kFailedAttemptPauseMs = 1000;

// Also a thread inside a setting call (a sync callback): it holds the API lock, which the connection
// thread needs to end.
bool OnLibraryThread() {
    return t_bConnectionThread || IsPollThread() || _InSettingCall();
}

// One connection attempt. A port that passes the identify query but not the identification has been
// closed by _COMStringFound; the scan then goes on with the next higher port in the same attempt.
bool ConnectAttempt(int port) {
    CProbeReportScope report(port);
    return FindDevice(port, _COMStringFound);
}

void NoteClose() {
    {
        std::lock_guard<std::mutex> guard(s_ConnectWait.mutex);
        ++s_ConnectWait.closes;
    }
    s_ConnectWait.changed.notify_all();
}

// Linked: runs the poll thread until the link is lost or the session is closed, then takes the link
// down.
void RunLink() {
    {
        CAutoCriticalSection lock(g_APICriticalSection);
        _ResetOutputStageForNewLink();
    }
    // The monitor and the poll thread before the listener: a listener that starts the output and then
    // works on gets its stream answered meanwhile, and an unplug meanwhile is noticed.
    StartMonitor();
    g_hPollingEvent.SetEvent();
    SetLinkPollingPause(false);
    ThreadHandle pollThread{};
    const bool polling = CreateThread(&pollThread, USBDataPollThread, nullptr);
    NotifyListener(true);

    {
        // A test rig that loses the instrument for a moment goes on with the same signal: the output
        // still selected is started again (range, relays, DC offset and the first packet). The listener
        // may have started it already.
        CAutoCriticalSection lock(g_APICriticalSection);
        if (polling && !g_bStopConnectDeviceThread && g_MainOutput != 0 && !s_ECGGoing)
            Change();
    }

    while (!g_bStopConnectDeviceThread) {
        g_hReconnectEvent.Wait();
        if (g_bStopConnectDeviceThread || !DeviceIsAlive())
            break;
    }

    // Link down. The port is closed only after the poll thread has ended, so that no packet goes to a
    // closed (or reused) descriptor.
    SetLinkPollingPause(true);
    g_hPollingEvent.ResetEvent();
    if (polling) {
        JoinThread(pollThread);
        CloseThread(pollThread);
    }
    {
        CAutoCriticalSection lock(g_APICriticalSection);
        s_bLinkUp = false;
        ClearDeviceIdentity();
        DeviceClose();
        // No request will come for a stream of this link; the output restarts at the next link-up.
        s_ECGGoing = false;
        g_bChangeOnNextCycle = false;
        ClearQueuedRequests();
    }
    PauseMonitor();
    NotifyListener(false);
}

// Ends the session from the connection thread or the poll thread (a callback): those cannot wait for
// themselves, so the connection thread is told to stop and ends by itself after its link-down.
void CloseFromLibraryThread() {
    CAutoPausePooling pause;
    bool open;
    {
        CAutoCriticalSection lock(g_APICriticalSection);
        open = IsPortOpen();
    }
    if (open) {
        ResetQOLT();
        CAutoCriticalSection lock(g_APICriticalSection);
        if (IsPortOpen())
            SendCommand(kCmdClose);
    }
    {
        CAutoCriticalSection lock(g_APICriticalSection);
        g_bStopConnectDeviceThread = true;
        ReconnectDevice();
    }
    NoteClose();
}

} // namespace

std::atomic<int> g_nPortNumber{-1};
std::atomic<bool> g_bStopConnectDeviceThread{false};
int g_iTargetDeviceSerialNumber = 0;

bool IsConnectionThread() {
    return t_bConnectionThread;
}

void NotifyListener(bool connected) {
    QoltListenerCB listener;
    {
        CAutoCriticalSection lock(g_APICriticalSection);
        listener = g_Callback;
    }
    if (listener != nullptr)
        listener(connected);
}

void ConnectedHandler(bool connected) {
    if (!connected)
        return;
    {
        std::lock_guard<std::mutex> guard(s_ConnectWait.mutex);
        ++s_ConnectWait.linkUps;
    }
    s_ConnectWait.changed.notify_all();
}

void Free() {}

bool DoInit(QoltListenerCB listener) {
    CAutoCriticalSection lock(g_APICriticalSection);
    if (OnLibraryThread() && s_bClosing)
        return false;
    g_hReconnectEvent.ResetEvent();
    g_bStopConnectDeviceThread = false;
    g_Callback = listener;
    if (s_bConnectThreadExists && s_bConnectThreadEnded) {
        // It ended by itself (after a Close made from a callback) and holds no lock any more. Neither
        // it nor its poll thread can be the caller: both have run their last library call.
        JoinThread(s_hConnectDeviceThread);
        CloseThread(s_hConnectDeviceThread);
        s_bConnectThreadExists = false;
    }
    if (!s_bConnectThreadExists) {
        s_bConnectThreadEnded = false;
        if (!CreateThread(&s_hConnectDeviceThread, ConnectDeviceThread, nullptr))
            return false;
        s_bConnectThreadExists = true;
    }
    Free();
    return true;
}

void* ConnectDeviceThread(void* /*arg*/) {
    t_bConnectionThread = true;
    for (;;) {
        {
            // The decision to end is taken under the lock, where Init may have cleared the flag again.
            CAutoCriticalSection lock(g_APICriticalSection);
            if (g_bStopConnectDeviceThread) {
                s_bConnectThreadEnded = true;
                if (!s_bClosing)
                    g_Callback = nullptr; // a Close from a callback: nothing is heard after it
                break;
            }
        }
        SleepEx(kTurnPauseMs);
        bool linked;
        {
            CAutoCriticalSection lock(g_APICriticalSection);
            if (g_bStopConnectDeviceThread)
                continue;
            linked = ConnectAttempt(g_nPortNumber);
            if (linked && g_bStopConnectDeviceThread) {
                ClearDeviceIdentity();
                DeviceClose();
                continue;
            }
            s_bLinkUp = linked;
        }
        if (!linked) {
            // The pause after a failed attempt is made without the lock; Close cuts it short.
            g_hReconnectEvent.WaitTimeout(kFailedAttemptPauseMs);
            continue;
        }
        RunLink();
    }
    t_bConnectionThread = false;
    return nullptr;
}

namespace {

// Init and Connect: the port, then DoInit. From a library thread the port is left alone when DoInit
// would refuse.
bool StartSession(QoltListenerCB listener, int port) {
    {
        CAutoCriticalSection lock(g_APICriticalSection);
        if (OnLibraryThread() && s_bClosing)
            return false;
        g_nPortNumber = port;
    }
    return DoInit(listener);
}

} // namespace

bool Init(QoltListenerCB listener) {
    if (OnLibraryThread())
        return StartSession(listener, -1);
    std::lock_guard<std::mutex> session(s_SessionCallMutex);
    return StartSession(listener, -1);
}

bool Connect(int port, unsigned timeoutMs) {
    if (OnLibraryThread()) {
        // The link can only come up on the connection thread, which this call would block.
        StartSession(ConnectedHandler, port);
        return false;
    }
    unsigned long linkUps;
    unsigned long closes;
    {
        std::lock_guard<std::mutex> session(s_SessionCallMutex);
        {
            std::lock_guard<std::mutex> guard(s_ConnectWait.mutex);
            linkUps = s_ConnectWait.linkUps;
            closes = s_ConnectWait.closes;
        }
        if (!StartSession(ConnectedHandler, port))
            return false;
    }
    std::unique_lock<std::mutex> wait(s_ConnectWait.mutex);
    s_ConnectWait.changed.wait_for(wait, std::chrono::milliseconds(timeoutMs), [&] {
        return s_ConnectWait.linkUps != linkUps || s_ConnectWait.closes != closes;
    });
    if (s_ConnectWait.closes == closes && s_ConnectWait.linkUps != linkUps)
        return true;
    wait.unlock();
    Free();
    return false;
}

void Close(void) {
    if (OnLibraryThread()) {
        CloseFromLibraryThread();
        return;
    }
    std::lock_guard<std::mutex> session(s_SessionCallMutex);
    CAutoPausePooling pause;
    bool open;
    {
        CAutoCriticalSection lock(g_APICriticalSection);
        open = IsPortOpen();
        s_bClosing = true;
    }
    if (open) {
        ResetQOLT();
        CAutoCriticalSection lock(g_APICriticalSection);
        if (IsPortOpen())
            SendCommand(kCmdClose);
    }
    bool join;
    ThreadHandle thread{};
    {
        CAutoCriticalSection lock(g_APICriticalSection);
        g_bStopConnectDeviceThread = true;
        ReconnectDevice();
        join = s_bConnectThreadExists;
        thread = s_hConnectDeviceThread;
    }
    NoteClose();
    if (join) {
        // Runs its link-down (the listener hears false if a link was up) and ends.
        JoinThread(thread);
        CloseThread(thread);
    }
    CAutoCriticalSection lock(g_APICriticalSection);
    s_bConnectThreadExists = false;
    s_bConnectThreadEnded = false;
    g_Callback = nullptr;
    s_bClosing = false;
}

bool IsConnected(void) {
    // A port open for a probe is no link; one the monitor has closed is one no more.
    return s_bLinkUp && IsPortOpen();
}

void SpecifyCOMPort(int port) {
    g_nPortNumber = port;
}

void WinEventCb(unsigned message, unsigned /*code*/, unsigned long /*data*/) {
    if (message == kDeviceChangeMessage)
        ReconnectDevice();
}
