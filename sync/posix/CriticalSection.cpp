#include "sync/CriticalSection.h"

CSimpleCriticalSection::CSimpleCriticalSection(bool recursive) {
    pthread_mutexattr_t attributes;
    pthread_mutexattr_init(&attributes);
    if (recursive) {
        pthread_mutexattr_settype(&attributes, PTHREAD_MUTEX_RECURSIVE);
    }
    pthread_mutex_init(&m_data.mutex, &attributes);
    pthread_mutexattr_destroy(&attributes);
}

CSimpleCriticalSection::~CSimpleCriticalSection() {
    pthread_mutex_destroy(&m_data.mutex);
}

int CSimpleCriticalSection::Lock() {
    return pthread_mutex_lock(&m_data.mutex);
}
int CSimpleCriticalSection::Unlock() {
    return pthread_mutex_unlock(&m_data.mutex);
}
bool CSimpleCriticalSection::TryLock() {
    return pthread_mutex_trylock(&m_data.mutex) == 0;
}
