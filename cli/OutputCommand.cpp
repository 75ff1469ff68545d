// `qolt play`, `qolt scan` and `qolt load`: start an output, watch it, end it through Close, write captures.
#include "Commands.h"
#include "ExitCodes.h"
#include "Instrument.h"
#include "LibraryEvents.h"
#include "Recording.h"
#include "Settings.h"
#include "sim/CaptureFiles.h"

#include "qolt_api.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <unistd.h>

namespace qoltcli {

namespace {

// Without a single sample by then, something is wrong with the link: give up instead of waiting forever.
constexpr double kFirstSampleSeconds = 10.0;

std::string Fixed(double v, int decimals = 1) {
    char text[48];
    std::snprintf(text, sizeof text, "%.*f", decimals, v);
    return text;
}

std::string WhatPlays(const Options& o) {
    switch (o.command) {
    case Command::Load:
        return o.file;
    case Command::Scan:
        return o.scanSine ? "sine scan" : "ecg2-27 rate scan";
    default:
        break;
    }
    std::string s = o.function->name;
    if (o.functionArgument) {
        s += " " + std::to_string(*o.functionArgument);
    }
    return s;
}

// The command line as a title: what plays and the settings given.
std::string Title(const Options& o) {
    std::string t = std::string("qolt ") + CommandName(o.command);
    for (const std::string& p : o.positional) {
        t += " " + p;
    }
    for (const Given& g : o.given) {
        if (g.name.rfind("--", 0) == 0 && g.name != "--capture" && g.name != "--plot" && g.name != "--json" &&
            g.name != "--virtual" && g.name != "--fast" && g.name != "--timeout") {
            t += " " + g.name + (g.text.empty() ? "" : " " + g.text);
        }
    }
    return t;
}

std::string Status(const Options& o, double seconds) {
    const LibraryEvents& e = Events();
    std::string s = Fixed(seconds);
    if (o.duration) {
        s += "/" + Fixed(*o.duration);
    }
    s += " s  " + WhatPlays(o);
    if (e.frequencyReported.load()) {
        s += "  " + Fixed(e.frequency.load(), 3) + " Hz";
    }
    s += "  " + std::to_string(e.SamplesSent()) + " samples sent";
    if (!e.linked.load()) {
        s += "  [instrument lost, waiting for it]";
    }
    return s;
}

} // namespace

int RunOutput(const Options& o, const Reporter& reporter, const StopSignal& stop) {
    int loaded = 0;
    std::optional<double> recordingSeconds;
    if (o.command == Command::Load) {
        const LoadResult load = LoadRecording(o.file, static_cast<int>(o.edfSignal));
        if (load.code <= 0) {
            std::string message = "cannot load " + o.file + ": " + load.problem;
            if (!load.loader.empty()) {
                message += " (" + load.loader + " returned " + std::to_string(load.code) + ")";
            }
            return reporter.Fail(kExitFileUnreadable, message);
        }
        loaded = load.code;
        recordingSeconds = load.seconds;
    }

    Instrument instrument(o);
    std::string error;
    int rc = instrument.Prepare(error);
    if (rc == kExitOk) {
        rc = instrument.Connect(o.port.value_or(-1), error);
    }
    if (rc != kExitOk) {
        return reporter.Fail(rc, error);
    }
    const Identity identity = instrument.ReadIdentity();
    if (stop.Requested()) {
        // Asked to stop while the instrument was being looked for: nothing is started.
        instrument.Close();
        reporter.Warn("stopped before the output started");
        if (reporter.Json()) {
            Json j;
            j.BeginObject().Field("command", CommandName(o.command)).Field("output", WhatPlays(o));
            j.Field("ended", "stopped").Field("seconds", 0.0).EndObject();
            reporter.Document(j);
        }
        return kExitOk;
    }

    instrument.HoldFastRequests();
    std::optional<Refusal> refusal = ApplyBeforeOutput(o);
    const std::time_t wallStart = std::time(nullptr);
    if (!refusal) {
        refusal = StartOutput(o);
    }
    if (!refusal) {
        instrument.MarkOutputStart();
        refusal = ApplyAfterOutput(o);
        instrument.ReleaseFastRequests();
    }
    if (refusal) {
        instrument.Close();
        return reporter.Refused(*refusal);
    }

    std::string ended;
    {
        StatusLine status;
        auto lastStatus = std::chrono::steady_clock::now() - std::chrono::seconds(1);
        const auto started = std::chrono::steady_clock::now();
        for (;;) {
            instrument.Service();
            if (stop.Requested()) {
                ended = "stopped";
                break;
            }
            if (Events().outputOff.load()) {
                ended = "output-off";
                break;
            }
            const double seconds = instrument.OutputSeconds();
            if (o.duration && seconds >= *o.duration) {
                ended = "duration";
                break;
            }
            const auto now = std::chrono::steady_clock::now();
            if (Events().SamplesSent() == 0 &&
                std::chrono::duration<double>(now - started).count() > kFirstSampleSeconds) {
                ended = "no-samples";
                break;
            }
            if (now - lastStatus >= std::chrono::milliseconds(200)) {
                status.Show(Status(o, seconds));
                lastStatus = now;
            }
            if (instrument.IsVirtual() && o.fast) {
                // Wakes as soon as the virtual instrument has what the duration asks for.
                instrument.WaitForOutput(o.duration.value_or(1e300), std::chrono::milliseconds(20));
            } else {
                stop.WaitFor(std::chrono::milliseconds(50));
            }
        }
        status.Clear();
    }
    const double played = instrument.OutputSeconds();
    instrument.HoldVirtualRequests();
    // Output arrives in packets of 0.3 s: what was received may run past the duration asked for, and past
    // the end of a recording played once (the rest of its last packet), which is what the run (and its
    // capture) holds. A run that ended itself holds all it received.
    const double received = instrument.ReceivedSeconds();
    std::optional<double> limit = o.duration;
    double seconds = ended == "output-off" ? received : played;
    if (ended == "output-off" && recordingSeconds) {
        limit = std::min(limit.value_or(*recordingSeconds), *recordingSeconds);
    }
    if (limit) {
        seconds = std::min(seconds, *limit);
    }
    // Counted before Close, whose own link-down the listener hears too.
    const uint64_t losses = Events().linkLosses.load();
    const uint64_t returns = Events().linkReturns.load();
    instrument.Close();

    if (ended == "no-samples") {
        return reporter.Fail(kExitFailure, "the output did not start: no samples were sent within " +
                                               Fixed(kFirstSampleSeconds, 0) + " s");
    }

    // Captures: what the virtual instrument received, cut to the duration asked for.
    qoltsim::Capture capture;
    std::vector<std::string> written;
    const bool wantFiles = !o.captures.empty() || o.plot;
    if (instrument.IsVirtual() && wantFiles) {
        capture = instrument.TakeCapture(Events().PacingMarkers(), limit);
        qoltsim::CaptureFileOptions files;
        files.edf.start = wallStart;
        files.plot.title = Title(o);
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
        if (capture.unrecordedSamples > 0) {
            reporter.Warn("the capture holds the first " + Fixed(capture.Seconds()) + " s only; " +
                          std::to_string(capture.unrecordedSamples) + " later samples were not recorded");
        }
    }

    const LibraryEvents& e = Events();
    if (reporter.Json()) {
        Json j;
        j.BeginObject();
        j.Field("command", CommandName(o.command)).Field("output", WhatPlays(o));
        if (o.command == Command::Load) {
            j.Field("samples_loaded", loaded);
        }
        if (ended == "stopped") {
            const int sig = stop.Signal();
            j.Field("signal", sig == SIGINT    ? "SIGINT"
                              : sig == SIGTERM ? "SIGTERM"
                              : sig == SIGHUP  ? "SIGHUP"
                                               : "?");
        }
        j.Field("ended", ended).Field("seconds", seconds).Field("played_seconds", played);
        j.Field("received_seconds", received);
        j.Field("samples_sent", e.SamplesSent());
        j.Field("pacing_pulses", static_cast<unsigned long long>(e.PacingMarkerCount()));
        if (e.frequencyReported.load()) {
            j.Field("last_frequency_hz", e.frequency.load());
        }
        j.Field("link_losses", losses).Field("link_returns", returns);
        j.Field("error_reports", e.errorReports.load());
        j.Field("virtual", instrument.IsVirtual()).Field("fast", o.fast);
        j.Key("instrument").BeginObject();
        j.Field("port", identity.port).Field("serial", identity.serial);
        j.Field("model", identity.enhanced ? "enhanced" : "standard");
        j.Field("hardware", identity.hardware).Field("firmware", identity.firmware);
        j.EndObject();
        j.Key("settings").BeginObject();
        for (const Given& g : o.given) {
            j.Field(g.name, g.text);
        }
        j.EndObject();
        if (wantFiles) {
            j.Key("capture").BeginObject();
            j.Field("seconds", capture.Seconds());
            j.Field("samples", static_cast<unsigned long long>(capture.samples.size()));
            j.Field("pacing_markers", static_cast<unsigned long long>(
                                          capture.CountAnnotations(qoltsim::AnnotationKind::Pacing)));
            j.Field("commands", static_cast<unsigned long long>(
                                    capture.CountAnnotations(qoltsim::AnnotationKind::Command)));
            j.Field("unrecorded_samples", static_cast<unsigned long long>(capture.unrecordedSamples));
            j.Key("files").BeginArray();
            for (const std::string& path : written) {
                j.String(path);
            }
            j.EndArray().EndObject();
        }
        j.EndObject();
        reporter.Document(j);
        return kExitOk;
    }

    std::string summary = "played " + WhatPlays(o) + " for " + Fixed(seconds) + " s (" +
                          std::to_string(e.SamplesSent()) + " samples sent";
    if (e.PacingMarkerCount() > 0) {
        summary += ", " + std::to_string(e.PacingMarkerCount()) + " pacing pulses";
    }
    summary += ")";
    if (ended == "stopped") {
        summary += ", stopped by signal";
    } else if (ended == "output-off") {
        summary += o.command == Command::Load ? ", the recording ended" : ", the scan ended";
    }
    reporter.Line(summary);
    if (losses > 0) {
        reporter.Line("the instrument was lost " + std::to_string(losses) + " time(s) and came back " +
                      std::to_string(returns) + " time(s)");
    }
    for (const std::string& path : written) {
        reporter.Line("wrote " + path + " (" + Fixed(capture.Seconds()) + " s, " +
                      std::to_string(capture.samples.size()) + " samples, " +
                      std::to_string(capture.CountAnnotations(qoltsim::AnnotationKind::Pacing)) +
                      " pacing markers)");
    }
    return kExitOk;
}

} // namespace qoltcli
