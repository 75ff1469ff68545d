// Event objects and waits: who clears what, timed waits, and the polling multiple wait.
#include "sync/Event.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

long long MillisSince(Clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

// An event that counts how often it was polled.
class CountingEvent final : public CEvent {
public:
    explicit CountingEvent(bool signalled) : m_signalled(signalled) {}
    int SetEvent() override {
        m_signalled = true;
        return 0;
    }
    int ResetEvent() override {
        m_signalled = false;
        return 0;
    }
    int Wait() override { return 0; }
    int WaitTimeout(unsigned) override {
        ++polls;
        return m_signalled ? 0 : kWaitTimedOut;
    }
    std::atomic<int> polls{0};

private:
    std::atomic<bool> m_signalled;
};

struct EventKind {
    const char* name;
    bool autoReset;
};

class EventKindTest : public ::testing::TestWithParam<EventKind> {
protected:
    std::unique_ptr<CEvent, void (*)(CEvent*)> Make(bool initial) {
        if (GetParam().autoReset) {
            return {new CAutoResetEvent(initial), [](CEvent* e) { delete static_cast<CAutoResetEvent*>(e); }};
        }
        return {new CManualResetEvent(initial), [](CEvent* e) { delete static_cast<CManualResetEvent*>(e); }};
    }
};

TEST_P(EventKindTest, PollsClearOnlyAnAutoResetEvent) {
    auto event = Make(false);
    EXPECT_EQ(event->WaitTimeout(0), kWaitTimedOut);
    event->SetEvent();
    event->SetEvent(); // a flag, not a count
    int satisfied = 0;
    for (int i = 0; i < 3; ++i) {
        satisfied += event->WaitTimeout(0) == 0 ? 1 : 0;
    }
    EXPECT_EQ(satisfied, GetParam().autoReset ? 1 : 3);
    event->ResetEvent();
    EXPECT_EQ(event->WaitTimeout(0), kWaitTimedOut);
}

TEST_P(EventKindTest, InitialStateIsHonoured) {
    auto event = Make(true);
    EXPECT_EQ(WaitForSingleObject(event.get(), 0), 0);
}

TEST_P(EventKindTest, TimedWaitEndsNeitherEarlyNorOnAWholeSecond) {
    auto event = Make(false);
    const auto start = Clock::now();
    EXPECT_EQ(event->WaitTimeout(500), kWaitTimedOut);
    EXPECT_GE(MillisSince(start), 500);

    // Deadlines rounded to whole seconds would make each of these short waits last until the next
    // second (about 5 s for the six); the bound is far above what a loaded machine needs for 600 ms.
    const auto series = Clock::now();
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(event->WaitTimeout(100), kWaitTimedOut);
    }
    const long long elapsed = MillisSince(series);
    EXPECT_GE(elapsed, 600);
    EXPECT_LT(elapsed, 4000);

    // A set after a time-out neither blocks nor is lost.
    event->SetEvent();
    EXPECT_EQ(event->WaitTimeout(100), 0);
}

TEST_P(EventKindTest, TimedWaitReturnsWhenSetByAnotherThread) {
    auto event = Make(false);
    std::thread setter([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        event->SetEvent();
    });
    // Far longer than the setter needs: 0 means the set ended the wait.
    EXPECT_EQ(event->WaitTimeout(20000), 0);
    setter.join();
    EXPECT_EQ(event->WaitTimeout(0), GetParam().autoReset ? kWaitTimedOut : 0);
}

TEST_P(EventKindTest, WaitBlocksUntilSet) {
    auto event = Make(false);
    std::atomic<bool> set{false};
    std::thread setter([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        set = true;
        event->SetEvent();
    });
    event->Wait();
    EXPECT_TRUE(set);
    setter.join();
    EXPECT_EQ(event->WaitTimeout(0), GetParam().autoReset ? kWaitTimedOut : 0);
}

TEST_P(EventKindTest, InfiniteTimedWaitWaitsForTheSet) {
    auto event = Make(false);
    std::thread setter([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        event->SetEvent();
    });
    EXPECT_EQ(WaitForSingleObject(event.get(), kWaitInfinite), 0);
    setter.join();
}

INSTANTIATE_TEST_SUITE_P(Kinds, EventKindTest,
                         ::testing::Values(EventKind{"Auto", true}, EventKind{"Manual", false}),
                         [](const ::testing::TestParamInfo<EventKind>& info) { return info.param.name; });

TEST(WaitForSingleObject, NullEventTimesOut) {
    EXPECT_EQ(WaitForSingleObject(nullptr, 0), kWaitTimedOut);
}

TEST(AutoResetEvent, OneSetReleasesOneOfTwoWaiters) {
    CAutoResetEvent event(false);
    std::atomic<int> released{0};
    auto waiter = [&] {
        if (event.WaitTimeout(1500) == 0) {
            ++released;
        }
    };
    std::thread a(waiter), b(waiter);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    event.SetEvent();
    a.join();
    b.join();
    EXPECT_EQ(released, 1);
}

TEST(WaitForMultipleObjects, WaitAllIsRefusedWithoutTouchingTheEvents) {
    CAutoResetEvent first(true);
    CAutoResetEvent second(true);
    CEvent* events[] = {&first, &second};
    EXPECT_EQ(WaitForMultipleObjects(2, events, 1, 1000), kWaitTimedOut);
    EXPECT_EQ(first.WaitTimeout(0), 0);
    EXPECT_EQ(second.WaitTimeout(0), 0);
}

TEST(WaitForMultipleObjects, LowestSignalledIndexWinsAndLaterOnesKeepTheirSignal) {
    CManualResetEvent idle(false);
    CAutoResetEvent first(true);
    CAutoResetEvent second(true);
    CEvent* events[] = {&idle, &first, &second};
    EXPECT_EQ(WaitForMultipleObjects(3, events, 0, 0), 1);
    EXPECT_EQ(first.WaitTimeout(0), kWaitTimedOut); // consumed by the winning poll
    EXPECT_EQ(second.WaitTimeout(0), 0);            // never polled
}

TEST(WaitForMultipleObjects, ZeroTimeoutMakesExactlyOneRound) {
    CountingEvent a(false), b(false), c(false);
    CEvent* events[] = {&a, &b, &c};
    EXPECT_EQ(WaitForMultipleObjects(3, events, 0, 0), kWaitTimedOut);
    EXPECT_EQ(a.polls, 1);
    EXPECT_EQ(b.polls, 1);
    EXPECT_EQ(c.polls, 1);
}

TEST(WaitForMultipleObjects, TimedOutAfterPollingUntilTheDeadline) {
    CountingEvent a(false), b(false);
    CEvent* events[] = {&a, &b};
    const auto start = Clock::now();
    EXPECT_EQ(WaitForMultipleObjects(2, events, 0, 200), kWaitTimedOut);
    EXPECT_GE(MillisSince(start), 200);
    EXPECT_GT(a.polls, 1);
    EXPECT_EQ(a.polls, b.polls);
}

TEST(WaitForMultipleObjects, InfiniteWaitPollsUntilOneIsSet) {
    CAutoResetEvent a(false), b(false), c(false);
    CEvent* events[] = {&a, &b, &c};
    std::thread setter([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        c.SetEvent();
    });
    EXPECT_EQ(WaitForMultipleObjects(3, events, 0, kWaitInfinite), 2);
    setter.join();
    EXPECT_EQ(c.WaitTimeout(0), kWaitTimedOut);
}

TEST(WaitForMultipleObjects, NoEventsTimeOutAtOnce) {
    EXPECT_EQ(WaitForMultipleObjects(0, nullptr, 0, kWaitInfinite), kWaitTimedOut);
}

} // namespace
