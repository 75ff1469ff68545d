#include "device/windows/Monitor.h"

#include "device/NotifyEvents.h"
#include "device/Platform.h"
#include "qolt_api.h"
#include "sync/CriticalSection.h"
#include "sync/Immortal.h"

#include <windows.h>

#include <atomic>
#include <cwchar>
#include <new>

namespace {

constexpr unsigned kDeviceChangeMessage = WM_DEVICECHANGE;
constexpr unsigned kClassAttempts = 1000;
constexpr unsigned kClassNameCapacity = 96;
// The longest a pause or shutdown waits for the window thread; it ends on its own after that.
constexpr DWORD kStopWaitMs = 2000;
// How long a start waits for the window to exist, so a notice right after the link came up is heard.
constexpr DWORD kReadyWaitMs = 2000;

struct MonitorState {
    CSimpleCriticalSection lock{false}; // the thread's handle, its events and the switch
    HANDLE thread = nullptr;
    HANDLE stopEvent = nullptr;  // set to end the current window thread
    HANDLE readyEvent = nullptr; // set when the window exists (or the thread gave up)
    bool watching = false;
};
// Never destroyed: the window thread may still run while static destructors do.
CImmortal<MonitorState> s_Holder;
MonitorState& s_State = s_Holder.value;
std::atomic<HWND> s_hWindow{nullptr};

LRESULT CALLBACK MonitorWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    const QoltNotifyCB callback = FindNotifyEvent(message);
    if (callback != nullptr) {
        callback(message, static_cast<unsigned>(wParam), static_cast<unsigned long>(lParam));
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

// Runs the window's messages until the stop event; false when the window was destroyed meanwhile (then
// the next class is tried).
bool PumpUntilStopped(HANDLE stopEvent) {
    for (;;) {
        const DWORD woken = MsgWaitForMultipleObjects(1, &stopEvent, FALSE, INFINITE, QS_ALLINPUT);
        if (woken == WAIT_OBJECT_0) {
            return true;
        }
        if (woken != WAIT_OBJECT_0 + 1) {
            return true; // the wait itself failed: nothing more can be heard
        }
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT) {
                return false;
            }
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
}

struct ThreadStart {
    HANDLE stopEvent;
    HANDLE readyEvent;
    HMODULE module;
};

DWORD WINAPI MonitorWindowThread(void* raw) {
    ThreadStart start = *static_cast<ThreadStart*>(raw);
    delete static_cast<ThreadStart*>(raw);
    HINSTANCE instance = start.module;
    bool stopped = false;
    for (unsigned i = 0; i < kClassAttempts && !stopped; ++i) {
        wchar_t name[kClassNameCapacity];
        FormatMonitorClassName(i, name, kClassNameCapacity);
        WNDCLASSEXW wc{};
        wc.cbSize = sizeof wc;
        wc.style = CS_DBLCLKS;
        wc.lpfnWndProc = MonitorWindowProc;
        wc.hInstance = instance;
        wc.hIcon = LoadIconW(nullptr, reinterpret_cast<LPCWSTR>(IDI_APPLICATION));
        wc.hIconSm = wc.hIcon;
        wc.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
        wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
        wc.lpszClassName = name;
        if (RegisterClassExW(&wc) == 0) {
            continue;
        }
        // Never shown; a top-level window hears the device-change broadcasts.
        HWND window = CreateWindowExW(0, name, L"title", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT,
                                      CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr, instance, nullptr);
        if (window != nullptr) {
            s_hWindow = window;
            SetEvent(start.readyEvent);
            stopped = PumpUntilStopped(start.stopEvent);
            s_hWindow = nullptr;
            if (stopped) {
                DestroyWindow(window);
            }
        }
        UnregisterClassW(name, instance);
    }
    SetEvent(start.readyEvent);
    FreeLibraryAndExitThread(start.module, 0);
}

// This module (the DLL, or the program the library is linked into), with a reference the thread owns.
HMODULE ReferenceThisModule() {
    HMODULE module = nullptr;
    if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                            reinterpret_cast<LPCWSTR>(&MonitorWindowProc), &module)) {
        return nullptr;
    }
    return module;
}

void CloseIf(HANDLE& handle) {
    if (handle != nullptr) {
        ::CloseHandle(handle);
        handle = nullptr;
    }
}

// Starts the window thread if none runs. With s_State.lock held.
void StartThreadLocked() {
    if (s_State.thread != nullptr) {
        return;
    }
    HANDLE stopEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HANDLE readyEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HMODULE module = ReferenceThisModule();
    auto* start = new (std::nothrow) ThreadStart{stopEvent, readyEvent, module};
    HANDLE thread = nullptr;
    if (stopEvent != nullptr && readyEvent != nullptr && module != nullptr && start != nullptr) {
        thread = ::CreateThread(nullptr, 0, MonitorWindowThread, start, 0, nullptr);
    }
    if (thread == nullptr) {
        delete start;
        if (module != nullptr) {
            FreeLibrary(module);
        }
        CloseIf(stopEvent);
        CloseIf(readyEvent);
        return;
    }
    s_State.thread = thread;
    s_State.stopEvent = stopEvent;
    s_State.readyEvent = readyEvent;
    WaitForSingleObject(readyEvent, kReadyWaitMs);
}

// Tells the window thread to end and waits for it at most kStopWaitMs. With s_State.lock held.
void StopThreadLocked() {
    if (s_State.thread == nullptr) {
        return;
    }
    SetEvent(s_State.stopEvent);
    // Past the bound it ends by itself; its events stay open for it (a few handles, once).
    if (WaitForSingleObject(s_State.thread, kStopWaitMs) == WAIT_OBJECT_0) {
        CloseIf(s_State.stopEvent);
        CloseIf(s_State.readyEvent);
    } else {
        s_State.stopEvent = nullptr;
        s_State.readyEvent = nullptr;
    }
    CloseIf(s_State.thread);
}

// At unload (the loader lock may be held): only the signal, no wait.
struct UnloadSignal {
    ~UnloadSignal() {
        if (s_State.stopEvent != nullptr) {
            SetEvent(s_State.stopEvent);
        }
    }
} s_UnloadSignal;

} // namespace

void FormatMonitorClassName(unsigned index, wchar_t* name, unsigned capacity) {
    std::swprintf(name, capacity, L"MsgMonitorWnd-KTRX40{6A81A571-EC5C-402C-B599-33A73DB24EBA}-%03u", index);
}

void* MonitorWindow() {
    return s_hWindow.load();
}

void StartMonitor() {
    CAutoCriticalSection lock(s_State.lock);
    StartThreadLocked();
    RegisterNotifyEvent(kDeviceChangeMessage, WinEventCb);
    s_State.watching = true;
}

void PauseMonitor() {
    CAutoCriticalSection lock(s_State.lock);
    RegisterNotifyEvent(kDeviceChangeMessage, nullptr);
    s_State.watching = false;
    StopThreadLocked();
}

bool IsMonitored() {
    CAutoCriticalSection lock(s_State.lock);
    return s_State.watching;
}

void ShutdownMonitor() {
    PauseMonitor();
}
