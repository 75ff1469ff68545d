// Starvation: real-time streaming while every core is busy. As many spinning processes as cores (at
// normal priority) run beside a session that plays a sine to the virtual instrument in real time; the
// instrument counts its underruns (its two-packet buffer ran dry) and overruns, and the time from each of
// its data requests to the whole packet that answered it gives the request-to-packet latency.
//
//   qolt_starvation [--seconds S] [--spinners N]      defaults: 60 s, one spinner per core (nproc)
// Exit code 0 when there was no underrun, no overrun and no packet-structure error. Run by hand.
#include "BenchLink.h"
#include "qolt_api.h"
#include "sim/TempDir.h"
#include "sim/VirtualInstrument.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double Arg(int argc, char** argv, const char* name, double fallback) {
    for (int i = 1; i + 1 < argc; ++i)
        if (std::strcmp(argv[i], name) == 0)
            return std::atof(argv[i + 1]);
    return fallback;
}

double Percentile(std::vector<double> v, double p) {
    if (v.empty())
        return 0.0;
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, static_cast<size_t>(p * static_cast<double>(v.size())))];
}

} // namespace

int main(int argc, char** argv) {
    const double seconds = Arg(argc, argv, "--seconds", 60.0);
    const int spinners =
        static_cast<int>(Arg(argc, argv, "--spinners", static_cast<double>(sysconf(_SC_NPROCESSORS_ONLN))));

    qoltsim::TempDir dir("qolt-starvation");
    qoltsim::Config config;
    config.directory = dir.Path();
    config.pacing = qoltsim::Pacing::RealTime;
    config.maxSamples = 0; // only the packets' and requests' times are needed
    qoltsim::VirtualInstrument vi(config);
    if (!vi.Start() || !benchlink::LinkTo(dir.Path())) {
        std::fprintf(stderr, "no link to the virtual instrument: %s\n", vi.LastError().c_str());
        return 2;
    }
    SetAmplitude(1000.0);
    SetFrequency(10.0);
    if (SetOutputFunc(1) != 0)
        return 2;
    // Let the stream fill the instrument's buffers before the load starts.
    std::this_thread::sleep_for(std::chrono::seconds(1));
    vi.ClearRecords();

    std::vector<pid_t> children;
    for (int i = 0; i < spinners; ++i) {
        const pid_t child = fork();
        if (child == 0) {
            volatile unsigned long spin = 0;
            for (;;)
                spin = spin + 1;
        }
        if (child > 0)
            children.push_back(child);
    }
    std::printf("streaming %.0f s in real time beside %zu spinning processes (%ld cores)\n", seconds,
                children.size(), sysconf(_SC_NPROCESSORS_ONLN));
    std::fflush(stdout);
    std::this_thread::sleep_for(std::chrono::milliseconds(static_cast<long long>(seconds * 1000)));
    const qoltsim::Recording r = vi.Snapshot();
    for (pid_t c : children) {
        kill(c, SIGKILL);
        waitpid(c, nullptr, 0);
    }
    Close();

    // Each request against the first whole packet that arrived after it.
    std::vector<double> latencies;
    size_t p = 0;
    for (const auto& s : r.sent) {
        if (s.what != "request")
            continue;
        while (p < r.packets.size() && r.packets[p].time < s.time)
            ++p;
        if (p == r.packets.size())
            break;
        latencies.push_back(std::chrono::duration<double, std::milli>(r.packets[p].time - s.time).count());
        ++p;
    }
    size_t structure = 0, overruns = 0;
    for (const auto& v : r.violations)
        (v.kind == qoltsim::ViolationKind::Overrun ? overruns : structure)++;
    const size_t underruns = r.CountEvents(qoltsim::EventKind::Underrun);
    std::printf("packets %llu, played %.1f s, underruns %zu, overruns %zu, structure errors %zu\n",
                static_cast<unsigned long long>(r.totalPackets), vi.PlayedSeconds(), underruns, overruns,
                structure);
    std::printf("request to packet over %zu requests: median %.2f ms, p99 %.2f ms, max %.2f ms\n",
                latencies.size(), Percentile(latencies, 0.5), Percentile(latencies, 0.99),
                Percentile(latencies, 1.0));
    return underruns == 0 && overruns == 0 && structure == 0 ? 0 : 1;
}
