#pragma once

#include "sync/SyncTypes.h"

// Wait forever (WaitForSingleObject, WaitForMultipleObjects, WaitTimeout).
constexpr unsigned kWaitInfinite = 0xFFFFFFFFu;

// Windows-style event: one thread sets it, another waits for it. Waits return 0 when the event was
// signalled, kWaitTimedOut when the time ran out.
class CEvent {
public:
    virtual int SetEvent() = 0;
    virtual int ResetEvent() = 0;
    virtual int Wait() = 0;
    virtual int WaitTimeout(unsigned milliseconds) = 0;

protected:
    CEvent() = default;
    // Events are never deleted through a CEvent pointer.
    ~CEvent() = default;
    CEvent(const CEvent&) = delete;
    CEvent& operator=(const CEvent&) = delete;
};

// A successful wait consumes the signal; a set wakes one waiter.
class CAutoResetEvent final : public CEvent {
public:
    explicit CAutoResetEvent(bool initialState = false);
    ~CAutoResetEvent();

    int SetEvent() override;
    int ResetEvent() override;
    int Wait() override;
    // 0 polls: the state is cleared whether it was set or not.
    int WaitTimeout(unsigned milliseconds) override;

private:
    EventData m_data;
};

// Stays signalled through any number of waits until ResetEvent.
class CManualResetEvent final : public CEvent {
public:
    explicit CManualResetEvent(bool initialState = false);
    ~CManualResetEvent();

    int SetEvent() override;
    int ResetEvent() override;
    int Wait() override;
    int WaitTimeout(unsigned milliseconds) override;

private:
    EventData m_data;
};

// event->WaitTimeout(milliseconds).
int WaitForSingleObject(CEvent* event, unsigned milliseconds);

// Index of the first event found signalled, polling them in order (lowest index first; polling an
// auto-reset event consumes its signal), or kWaitTimedOut. A non-zero waitAll is not supported and times
// out at once without touching the events. With 0 milliseconds exactly one round is made.
int WaitForMultipleObjects(unsigned count, CEvent** events, int waitAll, unsigned milliseconds);
