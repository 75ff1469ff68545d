// Shared pieces of the session tests: a fixture that points the library at virtual instruments in a
// private directory, and recorders for the callbacks (which are plain function pointers).
#pragma once

#include "qolt_api.h"
#include "sim/VirtualInstrument.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace sessiontest {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// Generous bound for anything that should happen "soon": the tests never depend on how soon.
constexpr auto kWait = 15s;

// What one callback slot has heard.
template <class T> class CallLog {
public:
    void Add(T value) {
        std::lock_guard<std::mutex> lock(mutex_);
        values_.push_back(value);
        times_.push_back(Clock::now());
        changed_.notify_all();
    }
    bool WaitForCount(size_t count, std::chrono::milliseconds timeout = kWait) {
        std::unique_lock<std::mutex> lock(mutex_);
        return changed_.wait_for(lock, timeout, [&] { return values_.size() >= count; });
    }
    std::vector<T> Values() {
        std::lock_guard<std::mutex> lock(mutex_);
        return values_;
    }
    std::vector<Clock::time_point> Times() {
        std::lock_guard<std::mutex> lock(mutex_);
        return times_;
    }
    size_t Count() {
        std::lock_guard<std::mutex> lock(mutex_);
        return values_.size();
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<T> values_;
    std::vector<Clock::time_point> times_;
};

inline CallLog<bool>& ListenerA() {
    static CallLog<bool> log;
    return log;
}
inline CallLog<bool>& ListenerB() {
    static CallLog<bool> log;
    return log;
}
inline CallLog<int>& Errors() {
    static CallLog<int> log;
    return log;
}
inline void RecordA(bool connected) {
    ListenerA().Add(connected);
}
inline void RecordB(bool connected) {
    ListenerB().Add(connected);
}
inline void RecordError(int code) {
    Errors().Add(code);
}

// Polls a condition of the library's state until it holds or the time runs out.
template <class Predicate> bool Eventually(Predicate predicate, std::chrono::milliseconds timeout = kWait) {
    const auto giveUp = Clock::now() + timeout;
    while (!predicate()) {
        if (Clock::now() >= giveUp)
            return false;
        std::this_thread::sleep_for(5ms);
    }
    return true;
}

class SessionFixture : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(nodes_.Valid());
        ASSERT_TRUE(locks_.Valid());
        ASSERT_EQ(SetDeviceNodeFormat((nodes_.Path() + "/ttyACM%d").c_str()), 0);
        ASSERT_EQ(SetLockDirectory(locks_.Path().c_str()), 0);
    }

    void TearDown() override {
        Close();
        instruments_.clear();
    }

    // A started virtual instrument linked as <nodes>/ttyACM<node>.
    qoltsim::VirtualInstrument& AddInstrument(qoltsim::Config config = qoltsim::Config()) {
        config.directory = nodes_.Path();
        instruments_.push_back(std::make_unique<qoltsim::VirtualInstrument>(config));
        qoltsim::VirtualInstrument& instrument = *instruments_.back();
        EXPECT_TRUE(instrument.Start()) << instrument.LastError();
        return instrument;
    }

    static qoltsim::Config OnNode(int node, qoltsim::Config config = qoltsim::Config()) {
        config.node = node;
        return config;
    }

    std::string LockFile(int node) const {
        return locks_.Path() + "/kestrane.ACM" + std::to_string(node) + ".lock";
    }
    std::string NodePath(int node) const { return nodes_.Path() + "/ttyACM" + std::to_string(node); }

    // Init with listener A and wait until it hears the link come up.
    void InitAndWaitForLink() {
        ASSERT_TRUE(Init(RecordA));
        ASSERT_TRUE(ListenerA().WaitForCount(1));
        ASSERT_EQ(ListenerA().Values()[0], true);
    }

    qoltsim::TempDir nodes_{"qolt-session-nodes"};
    qoltsim::TempDir locks_{"qolt-session-locks"};
    std::vector<std::unique_ptr<qoltsim::VirtualInstrument>> instruments_;
};

// The bytes of every command of one kind the instrument received, in order.
inline std::vector<std::vector<uint8_t>> CommandsOf(const qoltsim::VirtualInstrument& instrument,
                                                    qoltsim::MessageKind kind) {
    std::vector<std::vector<uint8_t>> out;
    for (const auto& c : instrument.Commands())
        if (c.kind == kind)
            out.push_back(c.bytes);
    return out;
}

} // namespace sessiontest
