#pragma once

#include "qolt_api.h"

// Error listener (code 0x80000001 for an instrument error report). Under g_APICriticalSection.
extern QoltErrorCB g_ErrorCallback;
// Sequence reports ("S") seen by the poll thread (only counted). Under g_APICriticalSection.
extern int g_nSequenceReports;

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
// The calling thread is the poll thread.
bool IsPollThread();
// Makes the calling thread act as the poll thread (a benchmark that makes the poll turns itself while
// the library's own poll thread is paused).
void ActAsPollThread(bool acting);
