#include "sync/posix/WaitClock.h"

#include <unistd.h>

#include <cstdint>

// Condition variables can wait on the monotonic clock where the system offers clock selection.
#if defined(_POSIX_CLOCK_SELECTION) && _POSIX_CLOCK_SELECTION > 0 && defined(CLOCK_MONOTONIC)
#define QOLT_WAIT_ON_MONOTONIC 1
#else
#define QOLT_WAIT_ON_MONOTONIC 0
#endif

namespace {
constexpr std::int64_t kNanosPerSecond = 1000000000;
constexpr std::int64_t kNanosPerMilli = 1000000;
} // namespace

clockid_t WaitClock() {
#if QOLT_WAIT_ON_MONOTONIC
    return CLOCK_MONOTONIC;
#else
    return CLOCK_REALTIME;
#endif
}

clockid_t InitWaitCondition(pthread_cond_t* condition) {
#if QOLT_WAIT_ON_MONOTONIC
    pthread_condattr_t attributes;
    if (pthread_condattr_init(&attributes) == 0) {
        const bool made = pthread_condattr_setclock(&attributes, CLOCK_MONOTONIC) == 0 &&
                          pthread_cond_init(condition, &attributes) == 0;
        pthread_condattr_destroy(&attributes);
        if (made) {
            return CLOCK_MONOTONIC;
        }
    }
#endif
    pthread_cond_init(condition, nullptr);
    return CLOCK_REALTIME;
}

timespec WaitDeadline(clockid_t clock, unsigned milliseconds) {
    timespec now{};
    clock_gettime(clock, &now);
    const std::int64_t nanos =
        static_cast<std::int64_t>(now.tv_nsec) + static_cast<std::int64_t>(milliseconds) * kNanosPerMilli;
    timespec deadline{};
    deadline.tv_sec = now.tv_sec + static_cast<time_t>(nanos / kNanosPerSecond);
    deadline.tv_nsec = static_cast<long>(nanos % kNanosPerSecond);
    return deadline;
}

bool WaitDeadlinePassed(clockid_t clock, const timespec& deadline) {
    timespec now{};
    clock_gettime(clock, &now);
    return now.tv_sec > deadline.tv_sec || (now.tv_sec == deadline.tv_sec && now.tv_nsec > deadline.tv_nsec);
}
