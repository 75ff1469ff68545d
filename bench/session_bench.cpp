// The poll loop against the virtual instrument: latency from a data request reaching the port to the
// packet being on the wire (idle turns waiting for input vs sleeping 10 ms blindly), and the CPU the
// library's threads use while linked and idle, and while streaming in real time.
//
//   build/bench/session_bench                                   # everything (the CPU runs take 2 x 60 s)
//   build/bench/session_bench --benchmark_filter=Latency
#include "qolt_api.h"

#include "api/PollLoop.h"
#include "api/SessionSync.h"
#include "sim/VirtualInstrument.h"
#include "sync/CriticalSection.h"
#include "synth/SynthesisState.h"

#include <benchmark/benchmark.h>
#include <dirent.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono_literals;

std::atomic<bool> s_linked{false};
void OnLink(bool connected) {
    s_linked = connected;
}

std::set<int> ThreadIds() {
    std::set<int> ids;
    if (DIR* dir = opendir("/proc/self/task")) {
        while (dirent* entry = readdir(dir))
            if (entry->d_name[0] != '.')
                ids.insert(std::atoi(entry->d_name));
        closedir(dir);
    }
    return ids;
}

// CPU seconds (user + system) a thread has used.
double ThreadCpuSeconds(int tid) {
    char path[64];
    std::snprintf(path, sizeof path, "/proc/self/task/%d/stat", tid);
    FILE* f = std::fopen(path, "r");
    if (f == nullptr)
        return 0.0;
    char buffer[1024];
    const size_t n = std::fread(buffer, 1, sizeof buffer - 1, f);
    std::fclose(f);
    buffer[n] = '\0';
    // Fields after the command name in parentheses: state is field 3; utime 14, stime 15.
    const char* p = std::strrchr(buffer, ')');
    if (p == nullptr)
        return 0.0;
    unsigned long utime = 0, stime = 0;
    std::sscanf(p + 2, "%*c %*d %*d %*d %*d %*d %*u %*u %*u %*u %*u %lu %lu", &utime, &stime);
    return double(utime + stime) / double(sysconf(_SC_CLK_TCK));
}

// A linked session on a virtual instrument; the library's threads are those that are neither the
// caller's nor the instrument's.
struct Rig {
    qoltsim::TempDir nodes{"qolt-bench-nodes"};
    qoltsim::TempDir locks{"qolt-bench-locks"};
    std::unique_ptr<qoltsim::VirtualInstrument> vi;
    std::set<int> foreign;

    bool Start(qoltsim::Pacing pacing) {
        foreign = ThreadIds(); // the caller, and the monitor (counted back in below)
        qoltsim::Config config;
        config.directory = nodes.Path();
        config.pacing = pacing;
        vi = std::make_unique<qoltsim::VirtualInstrument>(config);
        if (!vi->Start())
            return false;
        const std::set<int> withInstrument = ThreadIds();
        std::set<int> library = foreign;
        library.erase(static_cast<int>(gettid()));
        foreign = withInstrument;
        for (int id : library)
            foreign.erase(id); // the monitor runs since load: it is the library's
        SetDeviceNodeFormat((nodes.Path() + "/ttyACM%d").c_str());
        SetLockDirectory(locks.Path().c_str());
        s_linked = false;
        if (!Init(OnLink))
            return false;
        const auto giveUp = std::chrono::steady_clock::now() + 15s;
        while (!s_linked && std::chrono::steady_clock::now() < giveUp)
            std::this_thread::sleep_for(5ms);
        return s_linked;
    }

    double LibraryCpuSeconds() const {
        double total = 0.0;
        for (int id : ThreadIds())
            if (foreign.count(id) == 0)
                total += ThreadCpuSeconds(id);
        return total;
    }

    ~Rig() {
        Close();
        vi.reset();
    }
};

void SetStreaming(bool on) {
    CAutoCriticalSection lock(g_APICriticalSection);
    s_ECGGoing = on;
}

// Arg: 1 = idle turns wait for input, 0 = idle turns sleep 10 ms.
void BM_RequestToPacketLatency(benchmark::State& state) {
    g_bPollWaitsForInput = state.range(0) != 0;
    constexpr uint64_t kRequests = 1000;
    std::vector<double> latencies;
    for (auto _ : state) {
        Rig rig;
        if (!rig.Start(qoltsim::Pacing::Manual)) {
            state.SkipWithError("no link");
            return;
        }
        SetStreaming(true);
        // One request at a time, as the instrument sends them: the next once the packet is in.
        for (uint64_t i = 0; i < kRequests; ++i) {
            rig.vi->SendDataRequest(false);
            if (!rig.vi->WaitForPackets(i + 1, 5000ms)) {
                state.SkipWithError("packet missing");
                return;
            }
            std::this_thread::sleep_for(std::chrono::microseconds(200 + (i * 7919) % 3000));
        }
        SetStreaming(false);
        const auto sent = rig.vi->Sent();
        const auto packets = rig.vi->Packets();
        size_t p = 0;
        for (const auto& s : sent) {
            if (s.what != "request" || p >= packets.size())
                continue;
            latencies.push_back(std::chrono::duration<double, std::micro>(packets[p].time - s.time).count());
            ++p;
        }
    }
    std::sort(latencies.begin(), latencies.end());
    if (latencies.empty())
        return;
    state.counters["median_us"] = latencies[latencies.size() / 2];
    state.counters["p99_us"] = latencies[latencies.size() * 99 / 100];
    state.counters["max_us"] = latencies.back();
    state.counters["requests"] = double(latencies.size());
    g_bPollWaitsForInput = true;
}
BENCHMARK(BM_RequestToPacketLatency)->Arg(1)->Arg(0)->Iterations(1)->Unit(benchmark::kMillisecond);

// Arg: seconds of measurement.
void BM_LibraryCpuLinkedIdle(benchmark::State& state) {
    for (auto _ : state) {
        Rig rig;
        if (!rig.Start(qoltsim::Pacing::Manual)) {
            state.SkipWithError("no link");
            return;
        }
        const double before = rig.LibraryCpuSeconds();
        std::this_thread::sleep_for(std::chrono::seconds(state.range(0)));
        state.counters["cpu_percent"] = 100.0 * (rig.LibraryCpuSeconds() - before) / double(state.range(0));
    }
}
BENCHMARK(BM_LibraryCpuLinkedIdle)->Arg(60)->Iterations(1)->Unit(benchmark::kSecond);

void BM_LibraryCpuStreamingRealTime(benchmark::State& state) {
    for (auto _ : state) {
        Rig rig;
        if (!rig.Start(qoltsim::Pacing::RealTime)) {
            state.SkipWithError("no link");
            return;
        }
        SetOutputFunc(1);
        const double before = rig.LibraryCpuSeconds();
        std::this_thread::sleep_for(std::chrono::seconds(state.range(0)));
        state.counters["cpu_percent"] = 100.0 * (rig.LibraryCpuSeconds() - before) / double(state.range(0));
        state.counters["packets"] = double(rig.vi->Snapshot().totalPackets);
        SetOutputFunc(0);
    }
}
BENCHMARK(BM_LibraryCpuStreamingRealTime)->Arg(60)->Iterations(1)->Unit(benchmark::kSecond);

} // namespace
