// Shared pieces of the stream tests: a linked virtual instrument, the library's state read under its lock,
// and recorders for the waveform callbacks.
#pragma once

#include "session/SessionTestSupport.h"

#include "core/SessionSync.h"
#include "api/SessionState.h"
#include "sim/VirtualInstrument.h"
#include "sync/CriticalSection.h"

#include <cmath>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace streamtest {

using namespace sessiontest;
using qoltsim::MessageKind;

// Runs `f` under the library's API lock (so that no packet is being built meanwhile) and returns its result.
template <class F> auto UnderLock(F f) -> decltype(f()) {
    CAutoCriticalSection lock(g_APICriticalSection);
    return f();
}

inline CallLog<std::pair<double, double>>& GraphPoints() {
    static CallLog<std::pair<double, double>> log;
    return log;
}
inline void RecordGraph(double t, double v) {
    GraphPoints().Add({t, v});
}
inline CallLog<int>& MainFuncSyncs() {
    static CallLog<int> log;
    return log;
}
inline void RecordMainFunc(int f) {
    MainFuncSyncs().Add(f);
}
inline CallLog<double>& FreqSyncs() {
    static CallLog<double> log;
    return log;
}
inline void RecordFreq(double hz) {
    FreqSyncs().Add(hz);
}

// Output times and phases of the first `count` samples of a stream of period T (no short samples), computed
// as the packet builder advances them: a running sum of 0.2 ms steps, whose rounding decides on which side
// of a cycle boundary a sample falls.
struct OutputClock {
    std::vector<double> times;
    std::vector<double> phases;
    OutputClock(size_t count, double period) {
        double t = 0.0;
        for (size_t i = 0; i < count; ++i) {
            times.push_back(t);
            phases.push_back(t - period * std::trunc(t / period));
            t += 0.0002;
        }
    }
};

class StreamFixture : public SessionFixture {
protected:
    // A virtual instrument with the given pacing, linked through Init.
    qoltsim::VirtualInstrument& Linked(qoltsim::Pacing pacing, qoltsim::Config config = qoltsim::Config()) {
        config.pacing = pacing;
        auto& vi = AddInstrument(config);
        InitAndWaitForLink();
        // The instrument has taken in the whole identification exchange.
        EXPECT_TRUE(vi.WaitForCommand(MessageKind::EndOfIdentification, 1, kWait));
        return vi;
    }

    // What the instrument received and sent, for a failure message.
    static std::string Describe(const qoltsim::VirtualInstrument& vi) {
        const auto r = vi.Snapshot();
        std::string out = "received:";
        for (const auto& c : r.commands)
            out += std::string(" ") + qoltsim::MessageKindName(c.kind);
        out += "\nsent:";
        for (const auto& c : r.sent)
            out += " " + c.what;
        out += "\nevents:";
        for (const auto& e : r.events)
            out += std::string(" ") + qoltsim::EventKindName(e.kind);
        out += "\nlistener:";
        for (bool b : ListenerA().Values())
            out += b ? " up" : " down";
        return out;
    }

    // Sends `count` data requests one at a time, each once the previous one's packet has come.
    static void Request(qoltsim::VirtualInstrument& vi, int count) {
        for (int i = 0; i < count; ++i) {
            const uint64_t before = vi.Snapshot().totalPackets;
            ASSERT_TRUE(vi.SendDataRequest(false));
            ASSERT_TRUE(vi.WaitForPackets(before + 1, kWait)) << Describe(vi);
        }
    }
};

// The bytes of every command of one kind, in order.
inline std::vector<std::vector<uint8_t>> Sent(const qoltsim::VirtualInstrument& vi, MessageKind kind) {
    return CommandsOf(vi, kind);
}

// Every command received after the packet with the given index (or from the start with -1), packets left
// out, as kinds and bytes.
inline std::vector<qoltsim::CommandRecord> CommandsAfter(const qoltsim::VirtualInstrument& vi, size_t from) {
    const auto all = vi.Commands();
    return std::vector<qoltsim::CommandRecord>(
        all.begin() + static_cast<std::ptrdiff_t>(std::min(from, all.size())), all.end());
}

} // namespace streamtest
