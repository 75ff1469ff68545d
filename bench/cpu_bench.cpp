// CPU used by the library's threads, as % of one core: linked and idle, and streaming a sine in real time
// (the virtual instrument asks for a packet whenever one of its two buffers has played out, 5000 samples
// per second). The virtual instrument runs in a child process, so that this process's CPU time (getrusage)
// is the library's threads plus an idle main thread. Each phase lasts QOLT_CPU_SECONDS seconds (default
// 60). Run by hand; the figures are the counters.
#include "BenchLink.h"
#include "qolt_api.h"
#include "sim/TempDir.h"
#include "sim/VirtualInstrument.h"

#include <benchmark/benchmark.h>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <thread>

namespace {

using namespace std::chrono_literals;

double CpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// % of one core used by this process over `seconds` of wall time.
double MeasureCpu(int seconds) {
    const double cpu0 = CpuSeconds();
    const auto t0 = std::chrono::steady_clock::now();
    std::this_thread::sleep_for(std::chrono::seconds(seconds));
    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    return 100.0 * (CpuSeconds() - cpu0) / wall;
}

// The child: the virtual instrument until the parent closes the pipe.
[[noreturn]] void RunInstrument(const std::string& directory, int ready, int done) {
    qoltsim::Config config;
    config.directory = directory;
    config.pacing = qoltsim::Pacing::RealTime;
    config.maxSamples = 0;
    config.maxPackets = 0;
    config.maxPacketsWithBytes = 0;
    qoltsim::VirtualInstrument vi(config);
    const char ok = vi.Start() ? 1 : 0;
    (void)!write(ready, &ok, 1);
    char byte;
    while (read(done, &byte, 1) > 0) {
    }
    const auto r = vi.Snapshot();
    const unsigned long counts[2] = {static_cast<unsigned long>(r.totalPackets),
                                     static_cast<unsigned long>(r.CountEvents(qoltsim::EventKind::Underrun))};
    (void)!write(ready, counts, sizeof counts);
    vi.Stop();
    _exit(0);
}

void BM_LibraryCpu(benchmark::State& state) {
    const char* env = std::getenv("QOLT_CPU_SECONDS");
    const int seconds = env != nullptr && std::atoi(env) > 0 ? std::atoi(env) : 60;
    qoltsim::TempDir dir("qolt-cpu");
    int ready[2], done[2];
    if (pipe(ready) != 0 || pipe(done) != 0) {
        state.SkipWithError("pipe");
        return;
    }
    const pid_t child = fork();
    if (child == 0) {
        close(ready[0]);
        close(done[1]);
        RunInstrument(dir.Path(), ready[1], done[0]);
    }
    close(ready[1]);
    close(done[0]);
    char ok = 0;
    if (child < 0 || read(ready[0], &ok, 1) != 1 || ok != 1) {
        state.SkipWithError("virtual instrument did not start");
        return;
    }
    if (!benchlink::LinkTo(dir.Path())) {
        state.SkipWithError("no link"); // no iteration runs; the instrument is still ended below
    }
    for (auto _ : state) {
        state.counters["idle_pct"] = MeasureCpu(seconds);
        SetOutputFunc(1);
        std::this_thread::sleep_for(1s);
        state.counters["streaming_pct"] = MeasureCpu(seconds);
        SetOutputFunc(0);
    }
    Close();
    close(done[1]);
    unsigned long counts[2] = {0, 0};
    if (read(ready[0], counts, sizeof counts) == static_cast<ssize_t>(sizeof counts)) {
        state.counters["packets"] = static_cast<double>(counts[0]);
        state.counters["underruns"] = static_cast<double>(counts[1]);
    }
    close(ready[0]);
    int status = 0;
    waitpid(child, &status, 0);
}

BENCHMARK(BM_LibraryCpu)->Iterations(1)->Unit(benchmark::kSecond);

} // namespace
