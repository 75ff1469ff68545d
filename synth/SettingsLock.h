#pragma once

#include "core/SessionSync.h"
#include "sync/CriticalSection.h"

// Held by every setting call, by Change and by the packet builder's callers.
//
// One recursive lock, g_APICriticalSection, serialises the setting calls, Change and packet building: the
// poll thread builds each packet under it, so a packet never sees a half-made change; Change runs on one
// thread at a time (the in-process flag only catches re-entry on that thread); a stream start (Change
// asking for the first packet) and a data request (the poll step) never overlap. Being recursive, it lets
// the callbacks made under it (graph and pacing callbacks on the poll thread, sync callbacks on the thread of
// the setting call) call setting calls and getters. It must not be held while waiting for another thread
// that takes it: the poll thread waits for readability outside it, Close joins the connection thread
// without it, and a session call made by a thread that holds it ends or starts the session without
// waiting (see _InSettingCall). Every getter takes it too: Change on the poll thread rewrites stored settings
// (output function, frequency, amplitude, pulse width, baseline-reset mode, scan values) at cycle ends.
class CSettingsLock {
public:
    CSettingsLock();
    ~CSettingsLock();
    CSettingsLock(const CSettingsLock&) = delete;
    CSettingsLock& operator=(const CSettingsLock&) = delete;

private:
    CAutoCriticalSection m_lock;
};

// The calling thread is inside a setting call or a change (and so holds g_APICriticalSection).
bool _InSettingCall();
