#include "sync/LogQueue.h"

#include "sync/Event.h"
#include "sync/Immortal.h"
#include "sync/Threads.h"

#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <mutex>

std::atomic<int> g_nLogLevel{kLogOff};

namespace {

static_assert((kLogQueueCapacity & (kLogQueueCapacity - 1)) == 0, "a power of two");

// A bounded multi-producer ring (each entry's sequence tells whose turn it is), read by the log thread
// alone. Entry i is free for the producer of position p when its sequence equals p, and holds that
// message when it equals p + 1.
struct Ring {
    Ring() {
        for (std::size_t i = 0; i < kLogQueueCapacity; ++i) {
            entries[i].sequence.store(i, std::memory_order_relaxed);
        }
    }
    LogEntry entries[kLogQueueCapacity];
    std::atomic<std::size_t> claimPosition{0};
    std::size_t readPosition = 0; // the log thread's
    std::atomic<std::size_t> dropped{0};
};

// Threads log until the process ends; nothing here may be destroyed under them.
CImmortal<Ring> s_ring;
CImmortal<CAutoResetEvent> s_wake;
CImmortal<std::mutex> s_registration;

std::atomic<LogSink> s_sink{nullptr};
std::atomic<bool> s_stop{false};
// Set while the log thread waits for messages: only then does a producer wake it.
std::atomic<bool> s_sleeping{false};
bool s_running = false; // under s_registration
ThreadHandle s_thread{};
thread_local bool t_onLogThread = false;

constexpr unsigned kIdleWaitMs = 200;

bool Pop(LogEntry& out) {
    Ring& ring = s_ring.value;
    LogEntry& entry = ring.entries[ring.readPosition & (kLogQueueCapacity - 1)];
    if (entry.sequence.load(std::memory_order_acquire) != ring.readPosition + 1) {
        return false;
    }
    out.level = entry.level;
    std::memcpy(out.text, entry.text, sizeof out.text);
    out.text[sizeof out.text - 1] = '\0';
    entry.sequence.store(ring.readPosition + kLogQueueCapacity, std::memory_order_release);
    ++ring.readPosition;
    return true;
}

void Deliver(const LogEntry& entry) {
    const LogSink sink = s_sink.load(std::memory_order_acquire);
    if (sink != nullptr) {
        sink(entry.level, entry.text);
    }
}

void DeliverQueued() {
    LogEntry entry;
    while (Pop(entry)) {
        Deliver(entry);
    }
    const std::size_t dropped = s_ring.value.dropped.exchange(0, std::memory_order_relaxed);
    if (dropped != 0) {
        entry.level = kLogWarning;
        std::snprintf(entry.text, sizeof entry.text,
                      "log: %zu messages dropped (the log callback fell behind)", dropped);
        Deliver(entry);
    }
}

void* LogThread(void*) {
    t_onLogThread = true;
    while (!s_stop.load(std::memory_order_acquire)) {
        DeliverQueued();
        s_sleeping.store(true, std::memory_order_seq_cst);
        // A message committed before the flag was seen set has to be found here, not after the wait.
        const Ring& ring = s_ring.value;
        const bool pending = ring.entries[ring.readPosition & (kLogQueueCapacity - 1)].sequence.load(
                                 std::memory_order_seq_cst) == ring.readPosition + 1;
        if (!pending && !s_stop.load(std::memory_order_acquire)) {
            s_wake.value.WaitTimeout(kIdleWaitMs);
        }
        s_sleeping.store(false, std::memory_order_relaxed);
    }
    // The messages that were queued before the end was asked for.
    DeliverQueued();
    return nullptr;
}

// Under s_registration, not on the log thread.
void JoinLogThreadLocked() {
    if (!s_running) {
        return;
    }
    s_stop.store(true, std::memory_order_release);
    s_wake.value.SetEvent();
    JoinThread(s_thread);
    CloseThread(s_thread);
    s_running = false;
}

} // namespace

LogEntry* ClaimLogEntry(int level) {
    if (level <= kLogOff || !LogWanted(level)) {
        return nullptr;
    }
    Ring& ring = s_ring.value;
    std::size_t position = ring.claimPosition.load(std::memory_order_relaxed);
    for (;;) {
        LogEntry& entry = ring.entries[position & (kLogQueueCapacity - 1)];
        const std::size_t sequence = entry.sequence.load(std::memory_order_acquire);
        const auto lag = static_cast<std::intptr_t>(sequence - position);
        if (lag == 0) {
            if (ring.claimPosition.compare_exchange_weak(position, position + 1, std::memory_order_relaxed)) {
                // The sequence still holds the position: the commit publishes it as position + 1.
                entry.level = level;
                entry.text[0] = '\0';
                return &entry;
            }
        } else if (lag < 0) {
            ring.dropped.fetch_add(1, std::memory_order_relaxed);
            return nullptr;
        } else {
            position = ring.claimPosition.load(std::memory_order_relaxed);
        }
    }
}

void CommitLogEntry(LogEntry* entry) {
    if (entry == nullptr) {
        return;
    }
    entry->text[sizeof entry->text - 1] = '\0';
    const std::size_t position = entry->sequence.load(std::memory_order_relaxed);
    entry->sequence.store(position + 1, std::memory_order_release);
    if (s_sleeping.exchange(false, std::memory_order_seq_cst)) {
        s_wake.value.SetEvent();
    }
}

void LogText(int level, const char* format, ...) {
    LogEntry* entry = ClaimLogEntry(level);
    if (entry == nullptr) {
        return;
    }
    va_list args;
    va_start(args, format);
    std::vsnprintf(entry->text, sizeof entry->text, format, args);
    va_end(args);
    CommitLogEntry(entry);
}

bool SetLogSink(LogSink sink, int level) {
    if (sink == nullptr || level <= kLogOff) {
        sink = nullptr;
        level = kLogOff;
    }
    if (level > kLogWire) {
        level = kLogWire;
    }
    if (t_onLogThread) {
        // The thread cannot wait for itself: it ends after this call of the sink, delivering what is queued.
        if (sink == nullptr) {
            g_nLogLevel.store(kLogOff, std::memory_order_relaxed);
            s_stop.store(true, std::memory_order_release);
        } else {
            s_sink.store(sink, std::memory_order_release);
            g_nLogLevel.store(level, std::memory_order_relaxed);
        }
        return true;
    }

    std::lock_guard<std::mutex> guard(s_registration.value);
    if (sink == nullptr) {
        g_nLogLevel.store(kLogOff, std::memory_order_relaxed);
        JoinLogThreadLocked();
        s_sink.store(nullptr, std::memory_order_release);
        return true;
    }
    // A thread that its own sink told to end is joined before a new one starts.
    if (s_running && s_stop.load(std::memory_order_acquire)) {
        JoinLogThreadLocked();
    }
    s_sink.store(sink, std::memory_order_release);
    if (!s_running) {
        s_stop.store(false, std::memory_order_release);
        if (!CreateThread(&s_thread, LogThread, nullptr)) {
            s_sink.store(nullptr, std::memory_order_release);
            g_nLogLevel.store(kLogOff, std::memory_order_relaxed);
            return false;
        }
        s_running = true;
    }
    g_nLogLevel.store(level, std::memory_order_relaxed);
    return true;
}

std::size_t DroppedLogMessages() {
    return s_ring.value.dropped.load(std::memory_order_relaxed);
}
