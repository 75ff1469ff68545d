#pragma once

#include "qolt_api.h"

class CManualResetEvent;

// Set while the poll thread is to keep running; reset to end it.
extern CManualResetEvent& g_hPollingEvent;
// Set while polling is paused (at least one CAutoPausePooling alive, or the link going down).
extern CManualResetEvent& g_hPausePollingEvent;

// Error listener (code 0x80000001 for an instrument error report). Under g_APICriticalSection.
extern QoltErrorCB g_ErrorCallback;
// Firmware generation flag and 7-digit firmware number from the instrument's version report; they
// persist across links of the unit that reported them (api/FirmwareFacts.h). Written by the poll thread
// under g_APICriticalSection.
extern int g_bVersion4;
extern int g_nVersionNumber;
// Sequence reports ("S") seen by the poll thread (only counted). Under g_APICriticalSection.
extern int g_nSequenceReports;

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

// Reaction to one data request: the error listener for "N" "X", then the next packet while the stream
// runs. Caller holds g_APICriticalSection.
void AnswerDataRequest(bool withError);

// One poll step: reads one message and reacts. True when something was read. Caller holds
// g_APICriticalSection. Both arguments are ignored.
bool DoDataPoll(void* context, int flags);
// Poll thread body; returns when g_hPollingEvent is reset.
void* USBDataPollThread(void* arg);
// The calling thread is the poll thread.
bool IsPollThread();
