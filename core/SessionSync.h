#pragma once

#include "sync/CriticalSection.h"
#include "sync/Event.h"

#include <atomic>

// Session-wide synchronisation shared by the session, the poll loop and the device monitor. The objects
// are never destroyed, so threads that still run while the library unloads never touch a dead lock.

// Serialises the session calls, each connection attempt and each poll step; recursive. Always taken
// before g_CriticalSection.
extern CSimpleCriticalSection& g_APICriticalSection;

// Wakes the connection thread to check the link (device monitor, device-change notice, Close).
extern CAutoResetEvent& g_hReconnectEvent;

// Counts the links made: bumped each time a port passes identification, with g_APICriticalSection held.
// The device monitor closes a port only if the count is still the one it saw when it began to watch, so
// a stale decision never closes a link that came up meanwhile.
extern std::atomic<unsigned long> g_nLinkGeneration;

// Called by the discovery when a port has passed identification.
void BumpLinkGeneration();

// ReconnectDevice (sets g_hReconnectEvent) is declared in qolt_api.h.
