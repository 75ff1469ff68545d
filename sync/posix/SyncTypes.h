#pragma once

#include <pthread.h>
#include <time.h>

#include <cerrno>

// Thread identifier as CreateThread hands it out (an unsigned long on Linux).
using ThreadHandle = pthread_t;

// What a timed wait returns when its time ran out.
constexpr int kWaitTimedOut = ETIMEDOUT;

struct EventData {
    pthread_mutex_t lock;
    pthread_cond_t condition;
    clockid_t clock; // the clock the condition's deadlines are read on
    bool signalled;
};

struct CriticalSectionData {
    pthread_mutex_t mutex;
};
