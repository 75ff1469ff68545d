#include "device/Platform.h"

#include "device/windows/WinPort.h"
#include "sync/Threads.h"

// The queue is looked at each millisecond: an overlapped read of nothing would return at once (the read
// time-outs), and a wait for a receive event would leave a request pending on the port between polls.
bool _WaitCOMPortReadable(unsigned milliseconds) {
    const ULONGLONG giveUp = GetTickCount64() + milliseconds;
    for (;;) {
        const HANDLE handle = PortHandle();
        DWORD errors = 0;
        COMSTAT status{};
        if (handle == INVALID_HANDLE_VALUE || !ClearCommError(handle, &errors, &status)) {
            // No port, or one in an error state: the caller does not spin on it.
            const ULONGLONG now = GetTickCount64();
            if (now < giveUp) {
                SleepEx(static_cast<unsigned>(giveUp - now));
            }
            return false;
        }
        if (status.cbInQue > 0) {
            return true;
        }
        if (GetTickCount64() >= giveUp) {
            return false;
        }
        Sleep(1);
    }
}
