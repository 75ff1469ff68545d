#pragma once

#include <pthread.h>
#include <time.h>

// The clock that timed waits measure their deadlines on: the monotonic clock where condition variables
// can use it (a step of the wall clock then neither stretches nor cuts a wait), the real-time clock
// otherwise.
clockid_t WaitClock();

// Initialises a condition variable for deadlines on WaitClock(); returns the clock its timed waits use
// (the real-time clock should the system refuse the choice).
clockid_t InitWaitCondition(pthread_cond_t* condition);

// Now on the clock plus the given milliseconds, nanoseconds normalised below one second.
timespec WaitDeadline(clockid_t clock, unsigned milliseconds);

// True once the clock has passed the deadline.
bool WaitDeadlinePassed(clockid_t clock, const timespec& deadline);
