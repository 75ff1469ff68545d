// `qolt analyze` of a one-hour recording at 500 samples/s holding a frequency-response plan, as a user runs
// it (the built program: reading the EDF+ file, finding the marker, fitting, writing the report and the
// plot). Goal: at least 1000 times faster than real time, under 3.6 s. The marker search over the hour,
// the part that grows with the recording, is measured on its own as well.
//
// The first run makes the plan, runs it on the virtual instrument in fast mode and writes the hour (the
// plan's capture decimated to 500 samples/s, 20 minutes in, between noise and a small 7 Hz sine) into the
// temporary directory.
#include "analysis/MarkerSearch.h"

#include <benchmark/benchmark.h>
#include <edflib.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <random>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <vector>

extern char** environ;

// Without the tool in this build there is nothing to measure.
#ifdef QOLT_CLI_BIN
namespace {

constexpr int kRate = 500;
constexpr int kSeconds = 3600;
constexpr double kPlanStart = 1200.0;

std::string Dir() {
    static const std::string dir = (std::filesystem::temp_directory_path() / "qolt-analysis-bench").string();
    return dir;
}

int Run(const std::vector<std::string>& args) {
    std::vector<char*> argv;
    for (const std::string& a : args) {
        argv.push_back(const_cast<char*>(a.c_str()));
    }
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    const int rc = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    int status = 0;
    if (rc != 0 || waitpid(pid, &status, 0) != pid) {
        return -1;
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

[[noreturn]] void Die(const std::string& what) {
    std::fprintf(stderr, "analysis_bench: %s\n", what.c_str());
    std::exit(1);
}

std::vector<double> ReadCapture(const std::string& path) {
    edf_hdr_struct hdr{};
    if (edfopen_file_readonly(path.c_str(), &hdr, EDFLIB_DO_NOT_READ_ANNOTATIONS) != 0) {
        Die("cannot read " + path);
    }
    std::vector<double> v(static_cast<size_t>(hdr.signalparam[0].smp_in_file));
    const int got = edfread_physical_samples(hdr.handle, 0, static_cast<int>(v.size()), v.data());
    edfclose_file(hdr.handle);
    v.resize(got < 0 ? 0 : static_cast<size_t>(got));
    return v;
}

// The hour as the device records it.
std::vector<double> Hour(const std::vector<double>& capture) {
    std::mt19937 rng(1);
    std::normal_distribution<double> noise(0.0, 0.3);
    std::vector<double> x(static_cast<size_t>(kRate) * kSeconds);
    const size_t start = static_cast<size_t>(kPlanStart * kRate);
    for (size_t i = 0; i < x.size(); ++i) {
        double v = 5.0 * std::sin(2 * 3.14159265358979 * 7.0 * static_cast<double>(i) / kRate);
        if (i >= start && (i - start) * 10 + 9 < capture.size()) {
            v = 0.0;
            for (size_t k = 0; k < 10; ++k) {
                v += capture[(i - start) * 10 + k] * 37.5 / 10;
            }
        }
        x[i] = v - 120.0 + noise(rng);
    }
    return x;
}

void WriteEdf(const std::string& path, const std::vector<double>& x) {
    const int h = edfopen_file_writeonly(path.c_str(), EDFLIB_FILETYPE_EDFPLUS, 1);
    if (h < 0) {
        Die("cannot write " + path);
    }
    edf_set_samplefrequency(h, 0, kRate);
    edf_set_physical_maximum(h, 0, 600.0);
    edf_set_physical_minimum(h, 0, -600.0);
    edf_set_digital_maximum(h, 0, 32767);
    edf_set_digital_minimum(h, 0, -32768);
    edf_set_label(h, 0, "EEG Fz");
    edf_set_physical_dimension(h, 0, "uV");
    for (size_t r = 0; r < static_cast<size_t>(kSeconds); ++r) {
        if (edfwrite_physical_samples(h, const_cast<double*>(&x[r * kRate])) != 0) {
            Die("cannot write " + path);
        }
    }
    edfclose_file(h);
}

const std::vector<double>& Recording() {
    static std::vector<double> hour;
    if (!hour.empty()) {
        return hour;
    }
    const std::string dir = Dir();
    std::filesystem::create_directories(dir);
    if (Run({QOLT_CLI_BIN, "plan", "frequency-response", "--output", dir + "/plan.json"}) != 0 ||
        Run({QOLT_CLI_BIN, "--virtual", "--fast", "run", dir + "/plan.json", "--result", dir + "/result.json",
             "--capture", dir + "/capture.edf"}) != 0) {
        Die("cannot run the plan on the virtual instrument");
    }
    hour = Hour(ReadCapture(dir + "/capture.edf"));
    WriteEdf(dir + "/hour.edf", hour);
    return hour;
}

void BM_AnalyzeOneHour(benchmark::State& state) {
    Recording();
    const std::string dir = Dir();
    for (auto _ : state) {
        const int rc = Run({QOLT_CLI_BIN, "analyze", dir + "/hour.edf", "--result", dir + "/result.json",
                            "--report", dir + "/report.json", "--plot", dir + "/response.svg"});
        if (rc != 0) {
            state.SkipWithError("qolt analyze did not pass");
            return;
        }
    }
    state.counters["x_real_time"] =
        benchmark::Counter(kSeconds * static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

void BM_MarkerSearchOneHour(benchmark::State& state) {
    const std::vector<double>& hour = Recording();
    const qoltanalysis::SquareBurst burst{4.0, 8, {}};
    for (auto _ : state) {
        const qoltanalysis::MarkerMatch m = qoltanalysis::FindSquareBurst(hour, kRate, burst);
        if (!m.found || std::fabs(m.time - kPlanStart) > 0.01) {
            state.SkipWithError("marker not found where it is");
            return;
        }
        benchmark::DoNotOptimize(m.time);
    }
}

BENCHMARK(BM_AnalyzeOneHour)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(1)
    ->Repetitions(9)
    ->ReportAggregatesOnly(true);
BENCHMARK(BM_MarkerSearchOneHour)->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly(true);

} // namespace
#endif
