#include "device/posix/Monitor.h"

#include "core/SessionSync.h"
#include "device/Platform.h"
#include "qolt_api.h"

namespace {
constexpr unsigned kIdleMs = 100;      // between looks at the enable switch
constexpr int kRechecks = 3;           // re-checks before a missing node counts as gone
constexpr unsigned kRecheckMs = 500;   // before each re-check
constexpr unsigned kPresentMs = 1200;  // after a round that found the node
constexpr unsigned kAfterLossMs = 100; // after a close and reconnect request
constexpr unsigned kLockRetryMs = 10;  // between tries of the session lock
} // namespace

std::atomic<int> g_bStopMonitor{0};
CAutoMonitor g_AutoMonitor;

CAutoMonitor::CAutoMonitor() : m_hEvent(false), m_hStopEvent(false) {
    m_bThreadStarted = CreateThread(&m_hThread, &CAutoMonitor::MonitorDeviceThread, this);
}

// POSIX unloads without a loader lock that the monitor thread could need: joining here is safe.
CAutoMonitor::~CAutoMonitor() {
    Shutdown();
}

void CAutoMonitor::Shutdown() {
    g_bStopMonitor = 1;
    m_hStopEvent.SetEvent();
    m_hEvent.SetEvent();
    std::lock_guard<std::mutex> guard(m_JoinMutex);
    if (m_bThreadStarted) {
        JoinThread(m_hThread);
        CloseThread(m_hThread);
        m_bThreadStarted = false;
    }
}

void CAutoMonitor::StartMonitor() {
    m_hEvent.SetEvent();
}

void CAutoMonitor::PauseMonitor() {
    m_hEvent.ResetEvent();
}

bool CAutoMonitor::IsMonitored() {
    return m_hEvent.WaitTimeout(0) == 0;
}

bool CAutoMonitor::Nap(unsigned milliseconds) {
    m_hStopEvent.WaitTimeout(milliseconds);
    return g_bStopMonitor == 0;
}

void CAutoMonitor::CloseLostLink(unsigned long generation) {
    // The close must not run under a poll step's read or write; at unload the session lock may be held
    // for good, so it is only tried.
    while (!g_APICriticalSection.TryLock()) {
        if (!Nap(kLockRetryMs)) {
            return;
        }
    }
    const bool sameLink = g_nLinkGeneration == generation;
    if (sameLink) {
        DeviceClose();
    }
    g_APICriticalSection.Unlock();
    // A link that came up meanwhile is left alone and needs no reconnect.
    if (sameLink) {
        ReconnectDevice();
    }
}

void* CAutoMonitor::MonitorDeviceThread(void* arg) {
    CAutoMonitor* self = static_cast<CAutoMonitor*>(arg);
    while (g_bStopMonitor == 0) {
        if (!self->IsMonitored()) {
            self->Nap(kIdleMs);
            continue;
        }
        const unsigned long generation = g_nLinkGeneration;
        bool present = DeviceIsAlive();
        for (int i = 0; i < kRechecks && !present; ++i) {
            if (!self->Nap(kRecheckMs)) {
                break;
            }
            present = DeviceIsAlive();
        }
        if (g_bStopMonitor != 0) {
            break;
        }
        if (present) {
            self->Nap(kPresentMs);
            continue;
        }
        // A pause while the node was re-checked means the session has taken the link down itself.
        if (!self->IsMonitored()) {
            continue;
        }
        self->CloseLostLink(generation);
        self->Nap(kAfterLossMs);
    }
    return nullptr;
}

void StartMonitor() {
    g_AutoMonitor.StartMonitor();
}

void PauseMonitor() {
    g_AutoMonitor.PauseMonitor();
}

bool IsMonitored() {
    return g_AutoMonitor.IsMonitored();
}

void ShutdownMonitor() {
    g_AutoMonitor.Shutdown();
}
