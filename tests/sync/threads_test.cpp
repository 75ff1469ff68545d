// Threads, sleeping and critical sections.
#include "sync/CriticalSection.h"
#include "sync/Threads.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <limits>
#include <stdexcept>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

long long MillisSince(Clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

std::atomic<int> g_signalsSeen{0};
void CountSignal(int) {
    ++g_signalsSeen;
}

TEST(SleepEx, SleepsTheWholeTime) {
    for (unsigned ms : {0u, 1u, 500u, 1200u}) {
        const auto start = Clock::now();
        SleepEx(ms);
        EXPECT_GE(MillisSince(start), static_cast<long long>(ms)) << ms;
    }
}

TEST(SleepEx, SignalsDoNotShortenIt) {
    struct sigaction action {};
    action.sa_handler = CountSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0; // no SA_RESTART: the sleep really is interrupted
    struct sigaction previous {};
    ASSERT_EQ(sigaction(SIGUSR1, &action, &previous), 0);

    std::atomic<bool> started{false};
    long long slept = 0;
    std::thread sleeper([&] {
        started = true;
        const auto start = Clock::now();
        SleepEx(800);
        slept = MillisSince(start);
    });
    while (!started) {
        std::this_thread::yield();
    }
    for (int i = 0; i < 4; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        pthread_kill(sleeper.native_handle(), SIGUSR1);
    }
    sleeper.join();
    sigaction(SIGUSR1, &previous, nullptr);
    EXPECT_GT(g_signalsSeen, 0);
    EXPECT_GE(slept, 800);
}

void* RecordArgument(void* arg) {
    *static_cast<int*>(arg) = 42;
    return nullptr;
}

TEST(CreateThread, RunsTheStartFunctionAndIsJoined) {
    int value = 0;
    ThreadHandle thread{};
    ASSERT_TRUE(CreateThread(&thread, RecordArgument, &value));
    EXPECT_TRUE(JoinThread(thread));
    CloseThread(thread);
    EXPECT_EQ(value, 42);
}

TEST(CreateThread, RefusesMissingArguments) {
    int value = 0;
    ThreadHandle thread{};
    EXPECT_FALSE(CreateThread(&thread, nullptr, &value));
    EXPECT_FALSE(CreateThread(nullptr, RecordArgument, &value));
    EXPECT_EQ(value, 0);
}

TEST(CloseHandle, ClosesADescriptorOnce) {
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    EXPECT_TRUE(CloseHandle(fds[0]));
    EXPECT_FALSE(CloseHandle(fds[0]));
    EXPECT_TRUE(CloseHandle(fds[1]));
    EXPECT_FALSE(CloseHandle(-1));
    // Beyond any descriptor where long is wider than int.
    EXPECT_FALSE(CloseHandle(std::numeric_limits<long>::max()));
}

bool LockedElsewhere(CSimpleCriticalSection& section) {
    bool taken = false;
    std::thread other([&] {
        taken = section.TryLock();
        if (taken) {
            section.Unlock();
        }
    });
    other.join();
    return !taken;
}

TEST(CriticalSection, AutoGuardUnlocksWhenLeftByAnException) {
    CSimpleCriticalSection section;
    try {
        CAutoCriticalSection guard(section);
        EXPECT_TRUE(LockedElsewhere(section));
        throw std::runtime_error("leave the scope");
    } catch (const std::runtime_error&) {
    }
    EXPECT_FALSE(LockedElsewhere(section));
}

TEST(CriticalSection, RecursiveKindNestsInOneThread) {
    CSimpleCriticalSection section(true);
    {
        CAutoCriticalSection outer(section);
        {
            CAutoCriticalSection inner(section);
            EXPECT_TRUE(LockedElsewhere(section));
        }
        EXPECT_TRUE(LockedElsewhere(section)); // still held by the outer guard
    }
    EXPECT_FALSE(LockedElsewhere(section));
}

TEST(CriticalSection, PlainKindRefusesItsOwnHolder) {
    CSimpleCriticalSection section(false);
    CAutoCriticalSection guard(section);
    EXPECT_FALSE(section.TryLock());
}

TEST(CriticalSection, SerialisesThreads) {
    CSimpleCriticalSection section;
    long counter = 0;
    auto work = [&] {
        for (int i = 0; i < 20000; ++i) {
            CAutoCriticalSection guard(section);
            ++counter;
        }
    };
    std::thread a(work), b(work);
    a.join();
    b.join();
    EXPECT_EQ(counter, 40000);
}

} // namespace
