// Threads, sleeping and critical sections of the Windows build (native handles behind the same names).
#include "sync/CriticalSection.h"
#include "sync/Event.h"
#include "sync/Threads.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

long long MillisSince(Clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

void* CountUp(void* arg) {
    ++*static_cast<std::atomic<int>*>(arg);
    return nullptr;
}

TEST(WindowsThreads, CreatedThreadsRunAndAreJoinedOnce) {
    std::atomic<int> runs{0};
    ThreadHandle threads[8];
    for (ThreadHandle& t : threads) {
        ASSERT_TRUE(CreateThread(&t, CountUp, &runs));
    }
    for (ThreadHandle& t : threads) {
        EXPECT_TRUE(JoinThread(t));
        CloseThread(t);
    }
    EXPECT_EQ(runs, 8);
}

TEST(WindowsThreads, RefusesWhatItCannotStart) {
    ThreadHandle t{};
    EXPECT_FALSE(CreateThread(nullptr, CountUp, nullptr));
    EXPECT_FALSE(CreateThread(&t, nullptr, nullptr));
    EXPECT_FALSE(JoinThread(nullptr));
}

TEST(WindowsThreads, SleepExSleepsTheWholeTime) {
    for (unsigned ms : {0u, 1u, 50u, 300u}) {
        const auto start = Clock::now();
        SleepEx(ms);
        EXPECT_GE(MillisSince(start), static_cast<long long>(ms)) << ms;
    }
}

TEST(WindowsThreads, CloseHandleRefusesNoHandle) {
    EXPECT_FALSE(CloseHandle(-1L));
    EXPECT_FALSE(CloseHandle(0L));
}

TEST(WindowsCriticalSection, IsRecursiveAndExcludesOtherThreads) {
    CSimpleCriticalSection section(false);
    ASSERT_EQ(section.Lock(), 0);
    EXPECT_TRUE(section.TryLock()); // the holder may take it again
    bool otherGot = true;
    std::thread other([&] { otherGot = section.TryLock(); });
    other.join();
    EXPECT_FALSE(otherGot);
    section.Unlock();
    section.Unlock();
    std::thread after([&] {
        otherGot = section.TryLock();
        if (otherGot) {
            section.Unlock();
        }
    });
    after.join();
    EXPECT_TRUE(otherGot);
}

TEST(WindowsCriticalSection, SerialisesIncrements) {
    CSimpleCriticalSection section;
    long counter = 0;
    auto work = [&] {
        for (int i = 0; i < 20000; ++i) {
            CAutoCriticalSection lock(section);
            ++counter;
        }
    };
    std::thread a(work), b(work);
    a.join();
    b.join();
    EXPECT_EQ(counter, 40000);
}

TEST(WindowsEvents, TimeOutCodeIsTheNativeOne) {
    CManualResetEvent event(false);
    EXPECT_EQ(event.WaitTimeout(1), kWaitTimedOut);
    EXPECT_EQ(kWaitTimedOut, 258); // WAIT_TIMEOUT
}

} // namespace
