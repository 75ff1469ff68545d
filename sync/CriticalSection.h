#pragma once

#include "sync/SyncTypes.h"

// A mutex. The recursive kind may be locked again by the thread that holds it (as the Windows critical
// section always may); the plain kind must not be.
class CSimpleCriticalSection {
public:
    explicit CSimpleCriticalSection(bool recursive = false);
    ~CSimpleCriticalSection();
    CSimpleCriticalSection(const CSimpleCriticalSection&) = delete;
    CSimpleCriticalSection& operator=(const CSimpleCriticalSection&) = delete;

    int Lock();
    int Unlock();
    // Takes the lock only if that needs no waiting.
    bool TryLock();

private:
    CriticalSectionData m_data;
};

// Holds a critical section for the life of a scope.
class CAutoCriticalSection {
public:
    explicit CAutoCriticalSection(CSimpleCriticalSection& section) : m_section(section) { m_section.Lock(); }
    ~CAutoCriticalSection() { m_section.Unlock(); }
    CAutoCriticalSection(const CAutoCriticalSection&) = delete;
    CAutoCriticalSection& operator=(const CAutoCriticalSection&) = delete;

private:
    CSimpleCriticalSection& m_section;
};
