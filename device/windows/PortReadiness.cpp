#include "device/Platform.h"

#include "sync/Threads.h"

// The Windows port reads with overlapped I/O and has no readiness test that fits a non-blocking read:
// the caller sleeps the bounded time instead.
bool _WaitCOMPortReadable(unsigned milliseconds) {
    SleepEx(milliseconds);
    return false;
}
