#include "sync/Event.h"

#include <windows.h>

namespace {

void InitEvent(EventData& data, bool manualReset, bool initialState) {
    data.handle = CreateEventW(nullptr, manualReset ? TRUE : FALSE, initialState ? TRUE : FALSE, nullptr);
}

void DestroyEvent(EventData& data) {
    if (data.handle != nullptr) {
        ::CloseHandle(data.handle);
        data.handle = nullptr;
    }
}

int SetNative(EventData& data) {
    return data.handle != nullptr && ::SetEvent(data.handle) ? 0 : -1;
}
int ResetNative(EventData& data) {
    return data.handle != nullptr && ::ResetEvent(data.handle) ? 0 : -1;
}

// 0 when signalled (an auto-reset event's wait consumes the signal, also a poll's), else kWaitTimedOut.
// An event the system refused never becomes signalled: its waits time out, and a wait without limit on it
// sleeps the time of one round instead of spinning.
int WaitNative(EventData& data, unsigned milliseconds) {
    if (data.handle == nullptr) {
        if (milliseconds == kWaitInfinite) {
            Sleep(1000);
        }
        return kWaitTimedOut;
    }
    const DWORD wait = milliseconds == kWaitInfinite ? INFINITE : static_cast<DWORD>(milliseconds);
    return ::WaitForSingleObject(data.handle, wait) == WAIT_OBJECT_0 ? 0 : kWaitTimedOut;
}

} // namespace

CAutoResetEvent::CAutoResetEvent(bool initialState) {
    InitEvent(m_data, false, initialState);
}
CAutoResetEvent::~CAutoResetEvent() {
    DestroyEvent(m_data);
}
int CAutoResetEvent::SetEvent() {
    return SetNative(m_data);
}
int CAutoResetEvent::ResetEvent() {
    return ResetNative(m_data);
}
int CAutoResetEvent::Wait() {
    while (WaitNative(m_data, kWaitInfinite) != 0) {
    }
    return 0;
}
int CAutoResetEvent::WaitTimeout(unsigned milliseconds) {
    return WaitNative(m_data, milliseconds);
}

CManualResetEvent::CManualResetEvent(bool initialState) {
    InitEvent(m_data, true, initialState);
}
CManualResetEvent::~CManualResetEvent() {
    DestroyEvent(m_data);
}
int CManualResetEvent::SetEvent() {
    return SetNative(m_data);
}
int CManualResetEvent::ResetEvent() {
    return ResetNative(m_data);
}
int CManualResetEvent::Wait() {
    while (WaitNative(m_data, kWaitInfinite) != 0) {
    }
    return 0;
}
int CManualResetEvent::WaitTimeout(unsigned milliseconds) {
    return WaitNative(m_data, milliseconds);
}

int WaitForSingleObject(CEvent* event, unsigned milliseconds) {
    if (event == nullptr) {
        return kWaitTimedOut;
    }
    return event->WaitTimeout(milliseconds);
}

// The same polling as the POSIX build (lowest index first, one round for 0 ms), so both builds consume the
// same signals; the clock is the tick count, which no change of the wall clock moves.
int WaitForMultipleObjects(unsigned count, CEvent** events, int waitAll, unsigned milliseconds) {
    if (waitAll != 0 || count == 0 || events == nullptr) {
        return kWaitTimedOut;
    }
    const bool hasDeadline = milliseconds != kWaitInfinite;
    const ULONGLONG deadline = GetTickCount64() + milliseconds;
    for (;;) {
        for (unsigned i = 0; i < count; ++i) {
            if (events[i] != nullptr && events[i]->WaitTimeout(0) == 0) {
                return static_cast<int>(i);
            }
        }
        if (milliseconds == 0 || (hasDeadline && GetTickCount64() > deadline)) {
            return kWaitTimedOut;
        }
        Sleep(0);
    }
}
