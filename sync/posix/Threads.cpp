#include "sync/Threads.h"

#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <climits>

bool CreateThread(ThreadHandle* thread, void* (*start)(void*), void* arg) {
    if (thread == nullptr || start == nullptr) {
        return false;
    }
    ThreadHandle made;
    if (pthread_create(&made, nullptr, start, arg) != 0) {
        return false;
    }
    *thread = made;
    return true;
}

bool JoinThread(ThreadHandle thread) {
    return pthread_join(thread, nullptr) == 0;
}

void CloseThread(ThreadHandle /*thread*/) {}

bool CloseHandle(long handle) {
    if (handle < 0 || handle > INT_MAX) {
        return false;
    }
    return close(static_cast<int>(handle)) == 0;
}

void SleepEx(unsigned milliseconds) {
    timespec remaining{};
    remaining.tv_sec = static_cast<time_t>(milliseconds / 1000);
    remaining.tv_nsec = static_cast<long>(milliseconds % 1000) * 1000000L;
    while (nanosleep(&remaining, &remaining) != 0) {
        if (errno != EINTR) {
            break;
        }
    }
}
