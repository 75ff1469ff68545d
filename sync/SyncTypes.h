#pragma once

// Platform data behind the synchronisation classes; the interfaces in Event.h, CriticalSection.h and
// Thread.h are the same on every platform.
#if defined(_WIN32)
#include "sync/windows/SyncTypes.h"
#else
#include "sync/posix/SyncTypes.h"
#endif
