#pragma once

// The Windows build's data behind the synchronisation classes: native handles and a CRITICAL_SECTION,
// held without <windows.h> so that shared headers do not pull it (and its macros) in.

#include <cstdint>

// The thread's handle as the system returns it.
using ThreadHandle = void*;

// What a timed wait returns when its time ran out: the native wait's WAIT_TIMEOUT.
constexpr int kWaitTimedOut = 258;

struct EventData {
    void* handle; // from CreateEventW; null when the system refused one
};

struct CriticalSectionData {
    // Room for a CRITICAL_SECTION (40 bytes on x64, 24 on x86; checked where it is used).
    alignas(8) unsigned char storage[40];
};
