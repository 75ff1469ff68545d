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

// Packets are built on the poll thread only, one after the other: a data request read by anyone else
// (an exchange with the instrument, the stale-request discard of a stream start), and the first packet
// of a stream, are queued here and answered by the poll thread at its next turn. So the graph and error
// callbacks come from the poll thread alone, and never from inside a packet being built. All under
// g_APICriticalSection.

// Queues `requests` data requests ("N") and `errorRequests` with an error report ("N" "X"). Each gets a
// packet if the stream that ran when it was queued still runs at the poll thread's turn; each error
// report reaches the error listener in any case.
void QueueDataRequests(int requests, int errorRequests);
// Queues the first packet of the stream just started (g_nStreamGeneration bumped, counter at 0).
void QueueStreamStart();
// Forgets what is queued (link-down).
void ClearQueuedRequests();

// Reaction to one data request read by the poll step: the error listener for "N" "X", then the next
// packet while the stream runs. Off the poll thread both are queued for it. Returns false when the
// packet's write found the port stalled (see _PortWriteStalled): the requests already queued are then
// dropped, and so are those read with it. Caller holds g_APICriticalSection.
bool AnswerDataRequest(bool withError);

// One poll step: answers what is queued, then reads one message and reacts. True when there was
// something to do. Caller holds g_APICriticalSection. Both arguments are ignored.
bool DoDataPoll(void* context, int flags);
// Poll thread body; returns when g_hPollingEvent is reset.
void* USBDataPollThread(void* arg);
// The calling thread is the poll thread.
bool IsPollThread();
// Makes the calling thread act as the poll thread (a benchmark that makes the poll turns itself while
// the library's own poll thread is paused).
void ActAsPollThread(bool acting);
