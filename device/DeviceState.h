#pragma once

#include "sync/CriticalSection.h"

#include <atomic>

// The one open instrument port of the process.
// Descriptor (Windows: handle); -1 while no port is open. Atomic because the session's readiness tests
// read it on application threads while the connection thread or the monitor closes the port.
extern std::atomic<long> g_hDevice;
extern char g_szDevicePath[512]; // path of the port that passed the identify query; empty while none
// The open port took nothing for the whole wait of a write, and nothing since: later writes do not wait
// for room again until it takes a byte, so a stalled instrument costs one wait, not one per message.
// Cleared on close.
extern bool g_bPortWriteStalled;

// Serialises writes to the port and every change of the port state above (open, identify, close), so a
// descriptor is never closed under a write. Plain (not recursive); taken after g_APICriticalSection.
extern CSimpleCriticalSection& g_CriticalSection;
