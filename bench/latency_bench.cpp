// Latency from a data request reaching the port to the packet being on the wire, with the virtual
// instrument over a real pseudo-terminal: the instrument's time of writing "N" to the time it has read the
// whole packet. Requests come one at a time, each at a random moment (0-20 ms) after the previous packet,
// so that they meet the poll thread in every phase of its idle wait.
//
//   PollThread:     the library's poll thread, which waits for the port to become readable (at most 10 ms
//                   per idle turn) outside the API lock.
//   BlindSleep10ms: polling paused; a loop of this program makes the literal poll turn instead: under the
//                   lock, one poll step, and a 10 ms sleep when nothing was read.
//
// Reported as counters (milliseconds): median, p99 and max over the requests. Run by hand.
#include "api/PollLoop.h"
#include "stream/DataRequests.h"
#include "core/SessionSync.h"
#include "BenchLink.h"
#include "qolt_api.h"
#include "sim/TempDir.h"
#include "sim/VirtualInstrument.h"
#include "sync/CriticalSection.h"
#include "sync/Threads.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <random>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr int kRequests = 1000;

// The literal poll turn, on a thread of this program while the library's own poll thread is paused.
void BlindPollLoop(const std::atomic<bool>& stop) {
    ActAsPollThread(true);
    while (!stop) {
        CAutoCriticalSection lock(g_APICriticalSection);
        if (!DoDataPoll(nullptr, 0)) {
            SleepEx(10);
        }
    }
}

double Percentile(std::vector<double> v, double p) {
    std::sort(v.begin(), v.end());
    const size_t i = std::min(v.size() - 1, static_cast<size_t>(p * static_cast<double>(v.size())));
    return v[i];
}

void BM_RequestToPacket(benchmark::State& state, bool blindSleep) {
    qoltsim::TempDir dir("qolt-latency");
    qoltsim::Config config;
    config.directory = dir.Path();
    config.pacing = qoltsim::Pacing::Manual;
    config.maxSamples = 0; // only the packets' times are needed
    qoltsim::VirtualInstrument vi(config);
    if (!vi.Start()) {
        state.SkipWithError("virtual instrument did not start");
        return;
    }
    if (!benchlink::LinkTo(dir.Path())) {
        state.SkipWithError("no link");
        return;
    }
    SetOutputFunc(1);
    vi.WaitForPackets(1, 5s);

    std::atomic<bool> stop{false};
    std::unique_ptr<CAutoPausePooling> pause;
    std::thread blind;
    if (blindSleep) {
        pause = std::make_unique<CAutoPausePooling>();
        std::this_thread::sleep_for(50ms);
        blind = std::thread(BlindPollLoop, std::cref(stop));
    }

    std::mt19937 rng(7);
    std::vector<double> latencies;
    for (auto _ : state) {
        vi.ClearRecords();
        uint64_t before = 0;
        for (int i = 0; i < kRequests; ++i) {
            std::this_thread::sleep_for(
                std::chrono::microseconds(std::uniform_int_distribution<int>(0, 20000)(rng)));
            vi.SendDataRequest(false);
            if (!vi.WaitForPackets(++before, 2s)) {
                state.SkipWithError("a request was not answered");
                break;
            }
        }
        const auto r = vi.Snapshot();
        std::vector<Clock::time_point> requests;
        for (const auto& s : r.sent) {
            if (s.what == "request") {
                requests.push_back(s.time);
            }
        }
        const size_t n = std::min(requests.size(), r.packets.size());
        for (size_t i = 0; i < n; ++i) {
            latencies.push_back(
                std::chrono::duration<double, std::milli>(r.packets[i].time - requests[i]).count());
        }
    }

    stop = true;
    if (blind.joinable()) {
        blind.join();
    }
    pause.reset();
    SetOutputFunc(0);
    Close();
    if (!latencies.empty()) {
        state.counters["requests"] = static_cast<double>(latencies.size());
        state.counters["median_ms"] = Percentile(latencies, 0.5);
        state.counters["p99_ms"] = Percentile(latencies, 0.99);
        state.counters["max_ms"] = Percentile(latencies, 1.0);
    }
}

BENCHMARK_CAPTURE(BM_RequestToPacket, PollThread, false)->Iterations(1)->Unit(benchmark::kSecond);
BENCHMARK_CAPTURE(BM_RequestToPacket, BlindSleep10ms, true)->Iterations(1)->Unit(benchmark::kSecond);

} // namespace
