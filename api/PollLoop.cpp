#include "api/PollLoop.h"

#include "core/SessionSync.h"
#include "device/Platform.h"
#include "stream/DataRequests.h"
#include "sync/CriticalSection.h"
#include "sync/Event.h"
#include "sync/Immortal.h"
#include "sync/Threads.h"

#include <mutex>

namespace {

CImmortal<CManualResetEvent> s_hPollingEvent(false);
CImmortal<CManualResetEvent> s_hPausePollingEvent(false);

// Guards the pause count and the link pause, so that the event always matches them.
CImmortal<std::mutex> s_PauseMutexHolder;
std::mutex& s_PauseMutex = s_PauseMutexHolder.value;
int s_nPauseGuards = 0;
bool s_bLinkPause = false;

// Idle wait of one poll turn.
constexpr unsigned kIdleWaitMs = 10;
// Turn length while paused.
constexpr unsigned kPausedTurnMs = 1;

void UpdatePauseEventLocked() {
    if (s_nPauseGuards > 0 || s_bLinkPause)
        s_hPausePollingEvent.value.SetEvent();
    else
        s_hPausePollingEvent.value.ResetEvent();
}

bool IsSet(CManualResetEvent& event) {
    return event.WaitTimeout(0) == 0;
}

} // namespace

CManualResetEvent& g_hPollingEvent = s_hPollingEvent.value;
CManualResetEvent& g_hPausePollingEvent = s_hPausePollingEvent.value;

CAutoPausePooling::CAutoPausePooling() {
    std::lock_guard<std::mutex> guard(s_PauseMutex);
    ++s_nPauseGuards;
    UpdatePauseEventLocked();
}

CAutoPausePooling::~CAutoPausePooling() {
    std::lock_guard<std::mutex> guard(s_PauseMutex);
    --s_nPauseGuards;
    UpdatePauseEventLocked();
}

void SetLinkPollingPause(bool paused) {
    std::lock_guard<std::mutex> guard(s_PauseMutex);
    s_bLinkPause = paused;
    UpdatePauseEventLocked();
}

void* USBDataPollThread(void* /*arg*/) {
    ActAsPollThread(true);
    bool readableButEmpty = false;
    for (;;) {
        if (!IsSet(g_hPollingEvent))
            break;
        if (IsSet(g_hPausePollingEvent)) {
            SleepEx(kPausedTurnMs);
            continue;
        }
        bool gotInput;
        {
            // The whole step, with the packet it may build and the callbacks it may call, runs under the
            // API lock: setting calls and Change take the same (recursive) lock, so a packet never sees a
            // half-made change and a stream start never races a data request. The idle wait below is made
            // without it.
            CAutoCriticalSection lock(g_APICriticalSection);
            // A pause that began while this thread waited for the lock holds already.
            if (IsSet(g_hPausePollingEvent))
                continue;
            gotInput = DoDataPoll(nullptr, 0);
        }
        if (gotInput) {
            readableButEmpty = false;
        } else if (readableButEmpty) {
            // The port said "readable" and gave nothing (an error state): do not spin on it.
            SleepEx(kIdleWaitMs);
            readableButEmpty = false;
        } else {
            readableButEmpty = _WaitCOMPortReadable(kIdleWaitMs);
        }
    }
    ActAsPollThread(false);
    return nullptr;
}
