// `qolt run PLAN.json`: the plan's steps in order on one session, each started from the library's defaults
// while the output keeps running; the result document records when each step ran, in host time and in
// output samples, and the settings in force.
#include "ExitCodes.h"
#include "Instrument.h"
#include "LibraryEvents.h"
#include "LibrarySettings.h"
#include "Plan.h"
#include "PlanCommands.h"
#include "Recording.h"
#include "Settings.h"
#include "sim/CaptureFiles.h"

#include "qolt_api.h"
#include "qolt_version.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <unistd.h>

namespace qoltcli {

namespace {

constexpr double kSampleSeconds = 0.0002;
constexpr int64_t kPacketSamples = 1500;
// Without a new sample for this long, the link is not working: the run ends instead of waiting forever.
constexpr double kNoProgressSeconds = 10.0;

struct Moment {
    std::string utc;
    double monotonic = 0.0; // seconds of the steady clock (CLOCK_MONOTONIC)
};

Moment Now() {
    Moment m;
    const auto wall = std::chrono::system_clock::now();
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(wall.time_since_epoch()).count();
    const std::time_t seconds = static_cast<std::time_t>(ms / 1000);
    std::tm tm{};
    gmtime_r(&seconds, &tm);
    char text[48];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", tm.tm_year + 1900, tm.tm_mon + 1,
                  tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec, static_cast<int>(ms % 1000));
    m.utc = text;
    m.monotonic = std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
    return m;
}

std::string Fixed(double v, int decimals = 1) {
    char text[48];
    std::snprintf(text, sizeof text, "%.*f", decimals, v);
    return text;
}

std::string StepName(size_t index, const PlanStep& step) {
    return "step " + std::to_string(index + 1) + " (\"" + step.label + "\")";
}

struct StepRecord {
    size_t index = 0;
    Moment start, end;
    int64_t startSample = 0, endSample = 0;
    bool wasRunning = false;
    double periodInForce = 0.0;
    double frequencyBefore = 0.0;
    LibrarySettings settings;
    std::string ended;
};

// The output in samples. When the tool paces the virtual instrument itself (--virtual --fast), what it
// received, exactly; otherwise what the library has built, in whole packets (a setting call waits for a
// packet being built, so the packet under way counts as done).
class OutputCounter {
public:
    OutputCounter(Instrument& instrument, bool paced) : instrument_(instrument), paced_(paced) {}

    int64_t Samples() const {
        if (paced_) {
            uint64_t samples = 0;
            instrument_.Virtual()->WaitFor(
                [&](const qoltsim::Recording& r) {
                    samples = r.totalSamples;
                    return true;
                },
                std::chrono::milliseconds(0));
            return static_cast<int64_t>(samples);
        }
        const auto sent = static_cast<int64_t>(Events().SamplesSent());
        return (sent + kPacketSamples - 1) / kPacketSamples * kPacketSamples;
    }

    uint64_t Packets() const {
        uint64_t packets = 0;
        instrument_.Virtual()->WaitFor(
            [&](const qoltsim::Recording& r) {
                packets = r.totalPackets;
                return true;
            },
            std::chrono::milliseconds(0));
        return packets;
    }

private:
    Instrument& instrument_;
    bool paced_;
};

struct Progress {
    const Plan& plan;
    size_t step = 0;
    int64_t stepStart = 0;
    int64_t planStart = 0;
    StatusLine& status;
    std::chrono::steady_clock::time_point last{};

    void Show(int64_t samples) {
        const auto now = std::chrono::steady_clock::now();
        if (now - last < std::chrono::milliseconds(200)) {
            return;
        }
        last = now;
        const PlanStep& s = plan.steps[step];
        const double inStep = static_cast<double>(samples - stepStart) * kSampleSeconds;
        double left = std::max(0.0, s.duration - inStep);
        for (size_t i = step + 1; i < plan.steps.size(); ++i) {
            left += plan.steps[i].duration;
        }
        status.Show("step " + std::to_string(step + 1) + "/" + std::to_string(plan.steps.size()) + "  " +
                    s.label + "  " + Fixed(std::min(inStep, s.duration)) + "/" + Fixed(s.duration) + " s  " +
                    Fixed(left) + " s left" +
                    (Events().linked.load() ? "" : "  [instrument lost, waiting for it]"));
    }
};

// Runs the output up to `target` samples: "duration", or why it ended sooner ("stopped", "output-off",
// "no-samples").
std::string Advance(Instrument& instrument, const OutputCounter& counter, bool paced, int64_t target,
                    const StopSignal& stop, Progress& progress) {
    auto lastProgress = std::chrono::steady_clock::now();
    int64_t lastSamples = counter.Samples();
    for (;;) {
        instrument.Service();
        if (stop.Requested()) {
            return "stopped";
        }
        if (Events().outputOff.load()) {
            return "output-off";
        }
        const int64_t samples = counter.Samples();
        if (samples >= target) {
            return "duration";
        }
        const auto now = std::chrono::steady_clock::now();
        if (samples != lastSamples) {
            lastSamples = samples;
            lastProgress = now;
        } else if (std::chrono::duration<double>(now - lastProgress).count() > kNoProgressSeconds) {
            return "no-samples";
        }
        progress.Show(samples);
        if (paced) {
            // One request, one packet: nothing is under way when a step's settings go in.
            const uint64_t packets = counter.Packets();
            if (instrument.Virtual()->SendDataRequest()) {
                instrument.Virtual()->WaitForPackets(packets + 1, std::chrono::milliseconds(200));
            } else {
                stop.WaitFor(std::chrono::milliseconds(20));
            }
        } else {
            stop.WaitFor(std::chrono::milliseconds(20));
        }
    }
}

PlanJson MomentJson(const Moment& m) {
    PlanJson j;
    j["utc"] = m.utc;
    j["monotonic_s"] = m.monotonic;
    return j;
}

// False when `path` cannot be written; a file made only to find out is removed again.
bool Writable(const std::string& path) {
    const bool existed = access(path.c_str(), F_OK) == 0;
    FILE* f = std::fopen(path.c_str(), "a");
    if (f == nullptr) {
        return false;
    }
    std::fclose(f);
    if (!existed) {
        unlink(path.c_str());
    }
    return true;
}

} // namespace

int RunPlanCommand(const Options& o, const Reporter& reporter, const StopSignal& stop) {
    Plan plan;
    std::string error;
    if (!ReadPlanFile(o.document, plan, error)) {
        return reporter.Fail(kExitDocument, error);
    }
    if (o.result && !Writable(*o.result)) {
        return reporter.Fail(kExitOutputFile, "cannot write " + *o.result);
    }

    Instrument instrument(o);
    int rc = instrument.Prepare(error);
    const bool paced = instrument.IsVirtual() && o.fast;
    if (rc == kExitOk && paced) {
        instrument.Virtual()->SetPacing(qoltsim::Pacing::Manual);
    }
    if (rc == kExitOk) {
        rc = instrument.Connect(o.port.value_or(-1), error);
    }
    if (rc != kExitOk) {
        return reporter.Fail(rc, error);
    }
    const Identity identity = instrument.ReadIdentity();
    if (stop.Requested()) {
        instrument.Close();
        reporter.Warn("stopped before the output started");
        return kExitOk;
    }

    // Every step's stored settings go through the library once before anything is played, so that a value
    // it refuses stops the plan before it starts; then the defaults go back.
    const LibrarySettings defaults = ReadLibrarySettings();
    for (size_t i = 0; i < plan.steps.size(); ++i) {
        std::optional<Refusal> refusal = RestoreDefaults(plan.steps[i].options, defaults);
        if (!refusal) {
            refusal = ApplyBeforeOutput(plan.steps[i].options);
        }
        if (refusal) {
            instrument.Close();
            refusal->option = StepName(i, plan.steps[i]) + ": " + refusal->option;
            return reporter.Refused(*refusal);
        }
    }
    if (std::optional<Refusal> refusal = RestoreDefaults(Options{}, defaults)) {
        instrument.Close();
        return reporter.Refused(*refusal);
    }

    const Moment started = Now();
    const std::time_t wallStart = std::time(nullptr);
    const OutputCounter counter(instrument, paced);
    std::vector<StepRecord> records;
    std::string ended = "completed";
    std::optional<Refusal> refusal;
    std::string failure;
    int failureCode = kExitOk;
    bool running = false;
    {
        StatusLine status;
        Progress progress{plan, 0, 0, 0, status};
        for (size_t i = 0; i < plan.steps.size(); ++i) {
            const PlanStep& step = plan.steps[i];
            if (step.options.command == Command::Load) {
                const LoadResult load =
                    LoadRecording(step.options.file, static_cast<int>(step.options.edfSignal));
                if (load.code <= 0) {
                    ended = "load-failed";
                    failureCode = kExitFileUnreadable;
                    failure = StepName(i, step) + ": cannot load " + step.options.file + ": " + load.problem;
                    break;
                }
            }
            Events().outputOff.store(false);
            StepRecord rec;
            rec.index = i;
            rec.wasRunning = running;
            rec.frequencyBefore = GetFrequency();
            rec.startSample = counter.Samples();
            rec.start = Now();
            const uint64_t packetsBefore = paced ? counter.Packets() : 0;
            refusal = RestoreDefaults(step.options, defaults);
            if (!refusal) {
                refusal = ApplyBeforeOutput(step.options);
            }
            if (!refusal) {
                refusal = StartOutput(step.options);
            }
            if (!refusal) {
                refusal = ApplyAfterOutput(step.options);
            }
            if (refusal) {
                refusal->option = StepName(i, step) + ": " + refusal->option;
                ended = "refused";
                break;
            }
            rec.periodInForce = GetTimePeriod();
            rec.settings = ReadLibrarySettings();
            if (!running) {
                instrument.MarkOutputStart();
                if (paced) {
                    // The stream's first packet goes out unasked: let it arrive before asking for more.
                    instrument.Virtual()->WaitForPackets(packetsBefore + 1, std::chrono::seconds(2));
                }
            }
            running = true;
            progress.step = i;
            progress.stepStart = rec.startSample;
            const auto target =
                rec.startSample + static_cast<int64_t>(std::llround(step.duration / kSampleSeconds));
            rec.ended = Advance(instrument, counter, paced, target, stop, progress);
            rec.endSample = counter.Samples();
            rec.end = Now();
            records.push_back(rec);
            if (rec.ended == "stopped" || rec.ended == "no-samples") {
                ended = rec.ended;
                break;
            }
            if (rec.ended == "output-off") {
                running = false;
            }
        }
        status.Clear();
    }
    const Moment finished = Now();
    instrument.HoldVirtualRequests();
    const uint64_t losses = Events().linkLosses.load();
    const uint64_t returns = Events().linkReturns.load();
    instrument.Close();

    // Captures, with each step's start and end among their annotations.
    qoltsim::Capture capture;
    std::vector<std::string> written;
    if (instrument.IsVirtual() && (!o.captures.empty() || o.plot) && !records.empty()) {
        capture = instrument.TakeCapture(Events().PacingMarkers(), std::nullopt);
        for (const StepRecord& r : records) {
            const std::string what = std::to_string(r.index + 1) + ": " + plan.steps[r.index].label;
            capture.annotations.push_back({std::min<int64_t>(r.startSample * 2, capture.endTick),
                                           qoltsim::AnnotationKind::Note, "step " + what});
            capture.annotations.push_back({std::min<int64_t>(r.endSample * 2, capture.endTick),
                                           qoltsim::AnnotationKind::Note, "end of step " + what});
        }
        std::stable_sort(capture.annotations.begin(), capture.annotations.end(),
                         [](const qoltsim::CaptureAnnotation& a, const qoltsim::CaptureAnnotation& b) {
                             return a.tick < b.tick;
                         });
        qoltsim::CaptureFileOptions files;
        files.edf.start = wallStart;
        files.plot.title = "qolt run " + o.document;
        std::vector<std::string> paths = o.captures;
        if (o.plot) {
            paths.push_back(*o.plot);
        }
        for (const std::string& path : paths) {
            if (!qoltsim::WriteCaptureFile(path, capture, files, error)) {
                return reporter.Fail(kExitOutputFile, "cannot write " + path + ": " + error);
            }
            written.push_back(path);
        }
    }

    PlanJson result;
    result["format"] = "qolt-run-result";
    result["version"] = kPlanFormatVersion;
    result["plan_file"] = o.document;
    result["plan"] = plan.document;
    PlanJson session;
    session["virtual"] = instrument.IsVirtual();
    session["fast"] = o.fast;
    session["port"] = identity.port;
    session["serial"] = identity.serial;
    session["model"] = identity.enhanced ? "enhanced" : "standard";
    session["hardware"] = identity.hardware;
    session["firmware"] = identity.firmware;
    session["library_version"] = QOLT_LIBRARY_VERSION;
    session["interface_version"] = identity.sdk;
    result["session"] = session;
    result["start"] = MomentJson(started);
    result["end"] = MomentJson(finished);
    result["ended"] = ended;
    result["output_sample_s"] = kSampleSeconds;
    PlanJson steps = PlanJson::array();
    for (const StepRecord& r : records) {
        const PlanStep& s = plan.steps[r.index];
        PlanJson j;
        j["step"] = r.index + 1;
        j["label"] = s.label;
        j["command"] = s.commandLine;
        j["start"] = MomentJson(r.start);
        j["end"] = MomentJson(r.end);
        j["output_start_sample"] = r.startSample;
        j["output_end_sample"] = r.endSample;
        j["output_start_s"] = static_cast<double>(r.startSample) * kSampleSeconds;
        j["output_end_s"] = static_cast<double>(r.endSample) * kSampleSeconds;
        j["output_was_running"] = r.wasRunning;
        j["period_in_force_s"] = r.periodInForce;
        j["frequency_before_hz"] = r.frequencyBefore;
        j["ended"] = r.ended;
        j["settings"] = SettingsJson(r.settings);
        steps.push_back(j);
    }
    result["steps"] = steps;
    result["link_losses"] = losses;
    result["link_returns"] = returns;
    result["error_reports"] = Events().errorReports.load();
    if (!written.empty()) {
        result["captures"] = written;
    }
    if (o.result) {
        std::ofstream out(*o.result, std::ios::binary | std::ios::trunc);
        out << result.dump(2) << "\n";
        out.close();
        if (!out) {
            return reporter.Fail(kExitOutputFile, "cannot write " + *o.result);
        }
    }

    if (refusal) {
        return reporter.Refused(*refusal);
    }
    if (failureCode != kExitOk) {
        return reporter.Fail(failureCode, failure);
    }
    if (ended == "no-samples") {
        return reporter.Fail(kExitFailure,
                             "the output stopped: no samples for " + Fixed(kNoProgressSeconds, 0) + " s in " +
                                 StepName(records.back().index, plan.steps[records.back().index]));
    }
    if (reporter.Json()) {
        std::printf("%s\n", result.dump().c_str());
        std::fflush(stdout);
        return kExitOk;
    }
    const double seconds =
        records.empty() ? 0.0 : static_cast<double>(records.back().endSample) * kSampleSeconds;
    reporter.Line("ran " + std::to_string(records.size()) + " of " + std::to_string(plan.steps.size()) +
                  " steps" + (plan.name.empty() ? "" : " of " + plan.name) + ": " + Fixed(seconds) +
                  " s of output in " + Fixed(finished.monotonic - started.monotonic, 2) + " s" +
                  (ended == "stopped" ? ", stopped by signal" : ""));
    if (losses > 0) {
        reporter.Line("the instrument was lost " + std::to_string(losses) + " time(s) and came back " +
                      std::to_string(returns) + " time(s)");
    }
    if (o.result) {
        reporter.Line("wrote " + *o.result);
    }
    for (const std::string& path : written) {
        reporter.Line("wrote " + path + " (" + Fixed(capture.Seconds()) + " s, " +
                      std::to_string(capture.samples.size()) + " samples)");
    }
    return kExitOk;
}

} // namespace qoltcli
