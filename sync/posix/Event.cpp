#include "sync/Event.h"

#include "sync/posix/WaitClock.h"

#include <time.h>

namespace {

void InitEvent(EventData& data, bool initialState) {
    pthread_mutex_init(&data.lock, nullptr);
    data.clock = InitWaitCondition(&data.condition);
    data.signalled = initialState;
}

void DestroyEvent(EventData& data) {
    pthread_cond_destroy(&data.condition);
    pthread_mutex_destroy(&data.lock);
}

int ClearEvent(EventData& data) {
    pthread_mutex_lock(&data.lock);
    data.signalled = false;
    return pthread_mutex_unlock(&data.lock);
}

int WaitSignalled(EventData& data, bool consume) {
    pthread_mutex_lock(&data.lock);
    while (!data.signalled) {
        pthread_cond_wait(&data.condition, &data.lock);
    }
    if (consume) {
        data.signalled = false;
    }
    return pthread_mutex_unlock(&data.lock);
}

int WaitSignalledFor(EventData& data, unsigned milliseconds, bool consume) {
    if (milliseconds == kWaitInfinite) {
        WaitSignalled(data, consume);
        return 0;
    }
    pthread_mutex_lock(&data.lock);
    if (milliseconds == 0) {
        // A poll: no system call besides the lock; an auto-reset event ends up clear either way.
        const bool was = data.signalled;
        if (consume) {
            data.signalled = false;
        }
        pthread_mutex_unlock(&data.lock);
        return was ? 0 : kWaitTimedOut;
    }
    const timespec deadline = WaitDeadline(data.clock, milliseconds);
    for (;;) {
        if (data.signalled) {
            if (consume) {
                data.signalled = false;
            }
            pthread_mutex_unlock(&data.lock);
            return 0;
        }
        if (pthread_cond_timedwait(&data.condition, &data.lock, &deadline) == ETIMEDOUT) {
            pthread_mutex_unlock(&data.lock);
            return kWaitTimedOut;
        }
        // Woken by a set or spuriously: test the state again.
    }
}

} // namespace

CAutoResetEvent::CAutoResetEvent(bool initialState) {
    InitEvent(m_data, initialState);
}
CAutoResetEvent::~CAutoResetEvent() {
    DestroyEvent(m_data);
}

int CAutoResetEvent::SetEvent() {
    pthread_mutex_lock(&m_data.lock);
    m_data.signalled = true;
    // Signalled under the lock: a waiter cannot return and let the event go before the signal is done.
    pthread_cond_signal(&m_data.condition);
    return pthread_mutex_unlock(&m_data.lock);
}

int CAutoResetEvent::ResetEvent() {
    return ClearEvent(m_data);
}
int CAutoResetEvent::Wait() {
    return WaitSignalled(m_data, true);
}
int CAutoResetEvent::WaitTimeout(unsigned milliseconds) {
    return WaitSignalledFor(m_data, milliseconds, true);
}

CManualResetEvent::CManualResetEvent(bool initialState) {
    InitEvent(m_data, initialState);
}
CManualResetEvent::~CManualResetEvent() {
    DestroyEvent(m_data);
}

int CManualResetEvent::SetEvent() {
    pthread_mutex_lock(&m_data.lock);
    m_data.signalled = true;
    // Every waiter sees a manual-reset event set, as on Windows.
    pthread_cond_broadcast(&m_data.condition);
    return pthread_mutex_unlock(&m_data.lock);
}

int CManualResetEvent::ResetEvent() {
    return ClearEvent(m_data);
}
int CManualResetEvent::Wait() {
    return WaitSignalled(m_data, false);
}
int CManualResetEvent::WaitTimeout(unsigned milliseconds) {
    return WaitSignalledFor(m_data, milliseconds, false);
}

int WaitForSingleObject(CEvent* event, unsigned milliseconds) {
    if (event == nullptr) {
        return kWaitTimedOut;
    }
    return event->WaitTimeout(milliseconds);
}

int WaitForMultipleObjects(unsigned count, CEvent** events, int waitAll, unsigned milliseconds) {
    if (waitAll != 0 || count == 0 || events == nullptr) {
        return kWaitTimedOut;
    }
    const clockid_t clock = WaitClock();
    const bool hasDeadline = milliseconds != kWaitInfinite;
    const timespec deadline = hasDeadline ? WaitDeadline(clock, milliseconds) : timespec{};
    for (;;) {
        for (unsigned i = 0; i < count; ++i) {
            if (events[i] != nullptr && events[i]->WaitTimeout(0) == 0) {
                return static_cast<int>(i);
            }
        }
        if (milliseconds == 0 || (hasDeadline && WaitDeadlinePassed(clock, deadline))) {
            return kWaitTimedOut;
        }
        // A busy poll; the zero sleep lets other threads run between rounds.
        const timespec zero{0, 0};
        nanosleep(&zero, nullptr);
    }
}
