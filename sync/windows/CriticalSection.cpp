#include "sync/CriticalSection.h"

#include <windows.h>

namespace {
static_assert(sizeof(CRITICAL_SECTION) <= sizeof(CriticalSectionData::storage),
              "CRITICAL_SECTION does not fit");
static_assert(alignof(CRITICAL_SECTION) <= alignof(CriticalSectionData), "CRITICAL_SECTION alignment");

CRITICAL_SECTION* Native(CriticalSectionData& data) {
    return reinterpret_cast<CRITICAL_SECTION*>(data.storage);
}
} // namespace

// A critical section is always recursive; the plain kind is only a promise of its users.
CSimpleCriticalSection::CSimpleCriticalSection(bool /*recursive*/) {
    InitializeCriticalSection(Native(m_data));
}

CSimpleCriticalSection::~CSimpleCriticalSection() {
    DeleteCriticalSection(Native(m_data));
}

int CSimpleCriticalSection::Lock() {
    EnterCriticalSection(Native(m_data));
    return 0;
}
int CSimpleCriticalSection::Unlock() {
    LeaveCriticalSection(Native(m_data));
    return 0;
}
bool CSimpleCriticalSection::TryLock() {
    return TryEnterCriticalSection(Native(m_data)) != 0;
}
