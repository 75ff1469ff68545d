#pragma once

#include <atomic>
#include <cstddef>

// The library's log. A message is written where it arises straight into one entry of a bounded ring of
// fixed-size entries (no allocation, no lock, no waiting: a full ring drops the message and counts it), and
// delivered in order to the sink from a thread of its own. The poll thread may log every packet this way.

// Levels, as QoltLogLevel_E numbers them: a level includes the ones before it.
constexpr int kLogOff = 0;
constexpr int kLogError = 1;
constexpr int kLogWarning = 2;
constexpr int kLogInfo = 3;
constexpr int kLogWire = 4;

// An entry's text holds at most this many characters and its terminator; longer messages are cut.
constexpr int kLogTextCapacity = 256;
// Entries in the ring (a power of two).
constexpr std::size_t kLogQueueCapacity = 256;

// The most detailed level the sink hears; kLogOff while there is none.
extern std::atomic<int> g_nLogLevel;

// One relaxed load: what a hot path pays while nobody listens.
inline bool LogWanted(int level) {
    return level <= g_nLogLevel.load(std::memory_order_relaxed);
}

struct LogEntry {
    std::atomic<std::size_t> sequence;
    int level;
    char text[kLogTextCapacity];
};

// Claims the next free entry for a message of `level` (any thread, never waits). Null when the level is not
// wanted, or when the ring is full (then the message is counted as dropped). The caller fills `text`
// (terminated) and hands the entry over with CommitLogEntry, promptly: later entries wait behind it.
LogEntry* ClaimLogEntry(int level);
void CommitLogEntry(LogEntry* entry);

// Formats a message into an entry. Nothing when the level is not wanted or the ring is full.
void LogText(int level, const char* format, ...) __attribute__((format(printf, 2, 3)));

// Receives each message on the log thread.
using LogSink = void (*)(int level, const char* text);

// Sets the sink and its level (levels above kLogWire mean kLogWire). A null sink or kLogOff ends delivery:
// what is queued is delivered first, and the call returns after the sink's last call; made on the log
// thread itself (from the sink), it only asks for the end. A sink starts the log thread when none runs.
// Returns false when the thread cannot be started (then nothing is logged).
bool SetLogSink(LogSink sink, int level);

// Messages dropped since the last warning about them (the log thread reports and clears the count).
std::size_t DroppedLogMessages();
