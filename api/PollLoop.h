#pragma once

// The poll thread: it makes the poll steps (stream/DataRequests.h) while the link is up, and pauses
// while an exchange with the instrument needs the replies for itself.

class CManualResetEvent;

// Set while the poll thread is to keep running; reset to end it.
extern CManualResetEvent& g_hPollingEvent;
// Set while polling is paused (at least one CAutoPausePooling alive, or the link going down).
extern CManualResetEvent& g_hPausePollingEvent;

// Pauses the poll thread for the guard's lifetime, so that replies to a multi-message exchange are not
// consumed by it. Guards nest: polling resumes when the last one ends. Construct it before taking
// g_APICriticalSection.
class CAutoPausePooling {
public:
    CAutoPausePooling();
    ~CAutoPausePooling();
    CAutoPausePooling(const CAutoPausePooling&) = delete;
    CAutoPausePooling& operator=(const CAutoPausePooling&) = delete;
};

// The connection thread's own pause: set at link-down, cleared at link-up. Polling is paused while this
// is set or any CAutoPausePooling guard lives.
void SetLinkPollingPause(bool paused);

// Poll thread body; returns when g_hPollingEvent is reset.
void* USBDataPollThread(void* arg);
