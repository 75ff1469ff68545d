#include "sync/Threads.h"

#include <process.h>
#include <windows.h>

#include <new>

namespace {

struct ThreadStart {
    void* (*start)(void*);
    void* arg;
    HMODULE module; // the reference this thread holds on the code it runs; null when none could be had
};

// This module (the DLL, or the program the library is linked into), with one more reference.
HMODULE ReferenceThisModule() {
    HMODULE module = nullptr;
    if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                            reinterpret_cast<LPCWSTR>(&ReferenceThisModule), &module)) {
        return nullptr;
    }
    return module;
}

// Every thread of the library holds the module while it runs, so an application that unloads the DLL
// while one still runs (a log sink left set, a session not closed) unloads it only when the last one has
// ended, instead of pulling the code from under it.
unsigned __stdcall RunThread(void* raw) {
    ThreadStart what = *static_cast<ThreadStart*>(raw);
    delete static_cast<ThreadStart*>(raw);
    what.start(what.arg);
    if (what.module != nullptr) {
        FreeLibraryAndExitThread(what.module, 0);
    }
    return 0;
}

} // namespace

// _beginthreadex rather than the bare system call: the runtime library sets up its per-thread state.
bool CreateThread(ThreadHandle* thread, void* (*start)(void*), void* arg) {
    if (thread == nullptr || start == nullptr) {
        return false;
    }
    auto* what = new (std::nothrow) ThreadStart{start, arg, ReferenceThisModule()};
    if (what == nullptr) {
        return false;
    }
    const uintptr_t made = _beginthreadex(nullptr, 0, RunThread, what, 0, nullptr);
    if (made == 0) {
        if (what->module != nullptr) {
            FreeLibrary(what->module);
        }
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
