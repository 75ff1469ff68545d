#include "sync/Threads.h"

#include <process.h>
#include <windows.h>

#include <new>

namespace {

struct ThreadStart {
    void* (*start)(void*);
    void* arg;
};

unsigned __stdcall RunThread(void* raw) {
    ThreadStart what = *static_cast<ThreadStart*>(raw);
    delete static_cast<ThreadStart*>(raw);
    what.start(what.arg);
    return 0;
}

} // namespace

// _beginthreadex rather than the bare system call: the runtime library sets up its per-thread state.
bool CreateThread(ThreadHandle* thread, void* (*start)(void*), void* arg) {
    if (thread == nullptr || start == nullptr) {
        return false;
    }
    auto* what = new (std::nothrow) ThreadStart{start, arg};
    if (what == nullptr) {
        return false;
    }
    const uintptr_t made = _beginthreadex(nullptr, 0, RunThread, what, 0, nullptr);
    if (made == 0) {
        delete what;
        return false;
    }
    *thread = reinterpret_cast<ThreadHandle>(made);
    return true;
}

// Waits for the end and releases the handle: the join is the owner's one release, as on POSIX.
bool JoinThread(ThreadHandle thread) {
    if (thread == nullptr) {
        return false;
    }
    const bool ended = ::WaitForSingleObject(thread, INFINITE) == WAIT_OBJECT_0;
    ::CloseHandle(thread);
    return ended;
}

// JoinThread releases the handle.
void CloseThread(ThreadHandle /*thread*/) {}

// Handles fit in 32 bits on 64-bit Windows (the system keeps them sign-extendable for 32-bit peers), so
// the port's handle travels in a long.
bool CloseHandle(long handle) {
    if (handle == -1 || handle == 0) {
        return false;
    }
    return ::CloseHandle(LongToHandle(handle)) != 0;
}

void SleepEx(unsigned milliseconds) {
    // Sleep(INFINITE) would never return; a caller's "forever" is still a number of milliseconds.
    ::Sleep(milliseconds == INFINITE ? INFINITE - 1 : static_cast<DWORD>(milliseconds));
}
