// The log ring and its delivery thread: order, levels, a full ring that drops and says how many, ending the
// log (also from inside the sink), many producers at once.
#include "sync/LogQueue.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono_literals;

struct Heard {
    int level;
    std::string text;
    std::thread::id thread;
};

std::mutex g_mutex;
std::condition_variable g_changed;
std::vector<Heard> g_heard;

void Record(int level, const char* text) {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_heard.push_back({level, text, std::this_thread::get_id()});
    g_changed.notify_all();
}

std::vector<Heard> HeardSoFar() {
    std::lock_guard<std::mutex> lock(g_mutex);
    return g_heard;
}

bool WaitForCount(size_t count) {
    std::unique_lock<std::mutex> lock(g_mutex);
    return g_changed.wait_for(lock, 10s, [&] { return g_heard.size() >= count; });
}

// The sink of the full-ring case holds the log thread until the test lets it go.
std::mutex g_gateMutex;
std::condition_variable g_gateChanged;
bool g_gateOpen = false;
std::atomic<bool> g_sinkWaiting{false};

void RecordBehindGate(int level, const char* text) {
    g_sinkWaiting = true;
    {
        std::unique_lock<std::mutex> lock(g_gateMutex);
        g_gateChanged.wait(lock, [] { return g_gateOpen; });
    }
    Record(level, text);
}

std::atomic<int> g_endingCalls{0};
void EndFromInside(int level, const char* text) {
    Record(level, text);
    ++g_endingCalls;
    EXPECT_TRUE(SetLogSink(nullptr, kLogOff));
}

class LogQueue : public ::testing::Test {
protected:
    void TearDown() override { SetLogSink(nullptr, kLogOff); }
};

TEST_F(LogQueue, MessagesArriveInOrderFromTheLogThreadAndEndingDeliversWhatIsQueued) {
    ASSERT_TRUE(SetLogSink(Record, kLogWire));
    for (int i = 0; i < 100; ++i) {
        LogText(kLogInfo, "message %d", i);
    }
    // Ending the log returns once everything queued before it has been heard.
    ASSERT_TRUE(SetLogSink(nullptr, kLogOff));
    const auto heard = HeardSoFar();
    ASSERT_EQ(heard.size(), 100u);
    for (int i = 0; i < 100; ++i) {
        EXPECT_EQ(heard[i].text, "message " + std::to_string(i));
        EXPECT_EQ(heard[i].level, kLogInfo);
        EXPECT_NE(heard[i].thread, std::this_thread::get_id());
    }
    // Nothing is queued, let alone heard, once the log has ended.
    LogText(kLogError, "after the end");
    EXPECT_EQ(ClaimLogEntry(kLogError), nullptr);
    ASSERT_TRUE(SetLogSink(Record, kLogWire));
    ASSERT_TRUE(SetLogSink(nullptr, kLogOff));
    EXPECT_EQ(HeardSoFar().size(), 100u);
}

struct LevelCase {
    int set;
    std::vector<int> heard; // of one message at each level, error to wire
};

void PrintTo(const LevelCase& c, std::ostream* os) {
    *os << "level " << c.set;
}

class LogLevels : public LogQueue, public ::testing::WithParamInterface<LevelCase> {};

TEST_P(LogLevels, ASetLevelHearsItselfAndTheLevelsAboveIt) {
    ASSERT_TRUE(SetLogSink(Record, GetParam().set));
    for (int level : {kLogError, kLogWarning, kLogInfo, kLogWire}) {
        LogText(level, "level %d", level);
    }
    ASSERT_TRUE(SetLogSink(nullptr, kLogOff));
    std::vector<int> levels;
    for (const Heard& h : HeardSoFar()) {
        levels.push_back(h.level);
    }
    EXPECT_EQ(levels, GetParam().heard);
}

INSTANTIATE_TEST_SUITE_P(Levels, LogLevels,
                         ::testing::Values(LevelCase{kLogError, {kLogError}},
                                           LevelCase{kLogWarning, {kLogError, kLogWarning}},
                                           LevelCase{kLogInfo, {kLogError, kLogWarning, kLogInfo}},
                                           LevelCase{kLogWire, {kLogError, kLogWarning, kLogInfo, kLogWire}},
                                           LevelCase{99, {kLogError, kLogWarning, kLogInfo, kLogWire}},
                                           LevelCase{kLogOff, {}}, LevelCase{-3, {}}));

TEST_F(LogQueue, AFullRingDropsNewMessagesAndAWarningSaysHowMany) {
    ASSERT_TRUE(SetLogSink(RecordBehindGate, kLogWire));
    LogText(kLogInfo, "first");
    while (!g_sinkWaiting) {
        std::this_thread::sleep_for(1ms);
    }
    // The log thread holds "first"; the ring takes its capacity, the rest is dropped without waiting.
    const int posted = static_cast<int>(kLogQueueCapacity) + 50;
    for (int i = 0; i < posted; ++i) {
        LogText(kLogInfo, "queued %d", i);
    }
    EXPECT_EQ(DroppedLogMessages(), 50u);
    {
        std::lock_guard<std::mutex> lock(g_gateMutex);
        g_gateOpen = true;
    }
    g_gateChanged.notify_all();
    ASSERT_TRUE(SetLogSink(nullptr, kLogOff));

    const auto heard = HeardSoFar();
    ASSERT_EQ(heard.size(), 1 + kLogQueueCapacity + 1);
    EXPECT_EQ(heard.front().text, "first");
    for (size_t i = 0; i < kLogQueueCapacity; ++i) {
        EXPECT_EQ(heard[1 + i].text, "queued " + std::to_string(i));
    }
    EXPECT_EQ(heard.back().level, kLogWarning);
    EXPECT_EQ(heard.back().text, "log: 50 messages dropped (the log callback fell behind)");
    EXPECT_EQ(DroppedLogMessages(), 0u);
}

TEST_F(LogQueue, TheSinkMayEndTheLogAndANewSinkStartsAgain) {
    ASSERT_TRUE(SetLogSink(EndFromInside, kLogWire));
    LogText(kLogInfo, "one");
    ASSERT_TRUE(WaitForCount(1));
    // The end asked from inside leaves nothing wanted: later messages are not even queued.
    for (int i = 0; i < 1000 && LogWanted(kLogError); ++i) {
        std::this_thread::sleep_for(1ms);
    }
    EXPECT_FALSE(LogWanted(kLogError));
    EXPECT_EQ(ClaimLogEntry(kLogError), nullptr);
    EXPECT_EQ(g_endingCalls.load(), 1);

    ASSERT_TRUE(SetLogSink(Record, kLogInfo));
    LogText(kLogInfo, "two");
    ASSERT_TRUE(SetLogSink(nullptr, kLogOff));
    const auto heard = HeardSoFar();
    ASSERT_EQ(heard.size(), 2u);
    EXPECT_EQ(heard[1].text, "two");
}

TEST_F(LogQueue, ManyProducersKeepTheirOwnOrderAndNothingIsLostUncounted) {
    ASSERT_TRUE(SetLogSink(Record, kLogWire));
    constexpr int kThreads = 4;
    constexpr int kEach = 2000;
    std::vector<std::thread> producers;
    for (int t = 0; t < kThreads; ++t) {
        producers.emplace_back([t] {
            for (int i = 0; i < kEach; ++i) {
                LogText(kLogWire, "%d %d", t, i);
            }
        });
    }
    for (auto& p : producers) {
        p.join();
    }
    ASSERT_TRUE(SetLogSink(nullptr, kLogOff));

    int last[kThreads] = {-1, -1, -1, -1};
    size_t messages = 0;
    size_t dropped = 0;
    for (const Heard& h : HeardSoFar()) {
        int t = 0;
        int i = 0;
        unsigned long long n = 0;
        if (std::sscanf(h.text.c_str(), "log: %llu messages dropped", &n) == 1) {
            dropped += n;
            continue;
        }
        ASSERT_EQ(std::sscanf(h.text.c_str(), "%d %d", &t, &i), 2) << h.text;
        ASSERT_GT(i, last[t]) << "producer " << t << " out of order";
        last[t] = i;
        ++messages;
    }
    EXPECT_EQ(messages + dropped, static_cast<size_t>(kThreads * kEach));
}

TEST_F(LogQueue, LongMessagesAreCutToTheEntry) {
    ASSERT_TRUE(SetLogSink(Record, kLogWire));
    const std::string longText(1000, 'x');
    LogText(kLogWarning, "%s", longText.c_str());
    ASSERT_TRUE(SetLogSink(nullptr, kLogOff));
    const auto heard = HeardSoFar();
    ASSERT_EQ(heard.size(), 1u);
    EXPECT_EQ(heard[0].text, std::string(kLogTextCapacity - 1, 'x'));
}

} // namespace
