// `qolt analyze RECORDING --result RESULT.json`: the device's recording of a run, step by step against the
// plan and its limits; a table, a JSON report and an SVG plot of the response.
#include "ExitCodes.h"
#include "Plan.h"
#include "PlanCommands.h"
#include "RecordingReader.h"
#include "analysis/ReportText.h"
#include "analysis/ResponsePlot.h"
#include "analysis/StepTiming.h"

#include <cmath>
#include <cstdio>
#include <fstream>

namespace qoltcli {

namespace {

using qoltanalysis::Verdict;

// The marker search matches at most this many cycles: enough to stand out of noise, and quick.
constexpr int kMaxMarkerCycles = 16;

bool Whole(const PlanJson& j, const char* key, int64_t& out) {
    if (!j.contains(key) || !j[key].is_number_integer()) {
        return false;
    }
    out = j[key].get<int64_t>();
    return true;
}

bool Real(const PlanJson& j, const char* key, double& out) {
    if (!j.contains(key) || !j[key].is_number()) {
        return false;
    }
    out = j[key].get<double>();
    return std::isfinite(out);
}

// The plan and, from the run's records, where each step's waveform and window lie in output time.
bool SpecFromResult(const PlanJson& result, Plan& plan, qoltanalysis::PlanSpec& spec, std::string& error) {
    if (!result.is_object() || result.value("format", "") != "qolt-run-result") {
        error = "not the result of qolt run (\"format\" is not \"qolt-run-result\")";
        return false;
    }
    if (result.value("version", 0) != kPlanFormatVersion) {
        error = "\"version\" must be " + std::to_string(kPlanFormatVersion);
        return false;
    }
    if (!result.contains("plan") || !ParsePlan(result["plan"], "", plan, error, false)) {
        error = "its plan: " + (error.empty() ? std::string("missing") : error);
        return false;
    }
    if (!plan.steps[0].marker) {
        error = "the plan does not open with a marker step: its steps cannot be found in a recording";
        return false;
    }
    double dt = 0.0;
    if (!result.contains("steps") || !result["steps"].is_array() || !Real(result, "output_sample_s", dt) ||
        !(dt > 0.0)) {
        error = "\"steps\" (a list) and \"output_sample_s\" are needed";
        return false;
    }
    const PlanJson& records = result["steps"];
    spec = qoltanalysis::PlanSpec{};
    spec.reference = plan.reference;
    int64_t running = 0;
    for (size_t i = 0; i < plan.steps.size(); ++i) {
        const PlanStep& step = plan.steps[i];
        qoltanalysis::StepSpec s;
        s.label = step.label;
        s.limits = step.limits;
        s.sine = step.IsSine();
        if (i >= records.size()) {
            s.played = false;
            spec.steps.push_back(s);
            continue;
        }
        const PlanJson& r = records[i];
        int64_t start = 0, end = 0, number = 0;
        double period = 0.0, before = 0.0;
        const std::string name = "result step " + std::to_string(i + 1);
        if (!r.is_object() || !Whole(r, "step", number) || number != static_cast<int64_t>(i + 1) ||
            !Whole(r, "output_start_sample", start) || !Whole(r, "output_end_sample", end) || start < 0 ||
            end < start || !r.contains("output_was_running") || !r["output_was_running"].is_boolean() ||
            !Real(r, "period_in_force_s", period) || !Real(r, "frequency_before_hz", before) ||
            !r.contains("settings") || !r["settings"].is_object()) {
            error = name + ": \"step\" " + std::to_string(i + 1) +
                    ", \"output_start_sample\", \"output_end_sample\", \"output_was_running\", "
                    "\"period_in_force_s\", \"frequency_before_hz\" and \"settings\" are needed";
            return false;
        }
        const PlanJson& settings = r["settings"];
        if (!Real(settings, "frequency_hz", s.frequency) || !Real(settings, "amplitude", s.sourceAmplitude)) {
            error = name + ": its settings need \"frequency_hz\" and \"amplitude\"";
            return false;
        }
        const int64_t begins = r["output_was_running"].get<bool>() && i > 0
                                   ? qoltanalysis::WaveformStart(running, start, period, before)
                                   : start;
        running = begins;
        s.waveformStart = static_cast<double>(begins) * dt;
        s.windowStart = s.waveformStart + step.settle;
        s.windowEnd = static_cast<double>(end) * dt;
        s.played = s.windowEnd > s.windowStart;
        if (i == 0) {
            spec.markerStart = s.waveformStart;
            spec.marker.frequency = s.frequency;
            const double cycles = std::floor((s.windowEnd - s.waveformStart) * s.frequency + 1e-9);
            spec.marker.cycles = static_cast<int>(std::min<double>(cycles, kMaxMarkerCycles));
            if (spec.marker.cycles < 1) {
                error = name + ": the marker did not play a whole cycle";
                return false;
            }
            for (int64_t e : qoltanalysis::SquareEdges(period, spec.marker.cycles)) {
                spec.marker.edges.push_back(static_cast<double>(e) * dt);
            }
        }
        spec.steps.push_back(s);
    }
    return true;
}

const char* VerdictKey(Verdict v) {
    switch (v) {
    case Verdict::Pass:
        return "pass";
    case Verdict::Fail:
        return "fail";
    case Verdict::NotPlayed:
        return "not-played";
    case Verdict::NotJudged:
        break;
    }
    return "not-judged";
}

PlanJson Optional(const std::optional<double>& v) {
    return v && std::isfinite(*v) ? PlanJson(*v) : PlanJson(nullptr);
}

PlanJson ReportJson(const Options& o, const Plan& plan, const qoltanalysis::Signal& signal,
                    const qoltanalysis::Report& report) {
    PlanJson j;
    j["format"] = "qolt-analysis";
    j["version"] = kPlanFormatVersion;
    j["recording"] = {
        {"file", o.document},     {"signal", signal.label},           {"unit", signal.unit},
        {"rate_hz", signal.rate}, {"samples", signal.samples.size()}, {"seconds", signal.Seconds()}};
    j["result_file"] = *o.result;
    j["plan_name"] = plan.name;
    j["marker"] = {{"time_s", report.marker.time},
                   {"correlation", std::fabs(report.marker.correlation)},
                   {"inverted", report.marker.correlation < 0.0}};
    j["reference"] = report.reference >= 0 ? PlanJson(plan.steps[static_cast<size_t>(report.reference)].label)
                                           : PlanJson(nullptr);
    j["passed"] = report.passed;
    PlanJson steps = PlanJson::array();
    for (size_t i = 0; i < report.steps.size(); ++i) {
        const qoltanalysis::StepResult& r = report.steps[i];
        PlanJson s;
        s["step"] = i + 1;
        s["label"] = r.spec.label;
        s["command"] = plan.steps[i].commandLine;
        s["verdict"] = VerdictKey(r.verdict);
        if (r.verdict != Verdict::NotPlayed) {
            s["window"] = {{"start_s", r.windowStart}, {"end_s", r.windowEnd}, {"samples", r.samples}};
            s["mean"] = r.mean;
            s["peak_to_valley"] = r.peakToValley;
            if (r.spec.sine) {
                s["frequency_hz"] = r.spec.frequency;
                s["source_amplitude"] = r.spec.sourceAmplitude;
                s["amplitude"] = Optional(r.amplitude);
                s["phase_deg"] = Optional(r.phaseDeg);
                s["residual_rms"] = Optional(r.residualRms);
                s["response_ratio"] = Optional(r.ratio);
                s["response_percent"] = Optional(r.percent);
                s["response_db"] = Optional(r.db);
            }
        }
        PlanJson checks = PlanJson::array();
        for (const qoltanalysis::Check& c : r.checks) {
            checks.push_back({{"figure", qoltanalysis::FigureName(c.figure)},
                              {"value", Optional(c.value)},
                              {"min", Optional(c.min)},
                              {"max", Optional(c.max)},
                              {"pass", c.pass}});
        }
        s["checks"] = checks;
        steps.push_back(s);
    }
    j["steps"] = steps;
    return j;
}

bool WriteText(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
    out.close();
    return static_cast<bool>(out);
}

} // namespace

int AnalyzeCommand(const Options& o, const Reporter& reporter) {
    PlanJson result;
    std::string error;
    if (!ReadJsonFile(*o.result, result, error)) {
        return reporter.Fail(kExitDocument, error);
    }
    Plan plan;
    qoltanalysis::PlanSpec spec;
    if (!SpecFromResult(result, plan, spec, error)) {
        return reporter.Fail(kExitDocument, *o.result + ": " + error);
    }
    qoltanalysis::SignalChoice choice;
    if (!o.Typed("--signal").empty()) {
        if (o.signalLabel) {
            return reporter.Fail(kExitUsage, "--signal and --label both name the signal: give one");
        }
        if (o.edfSignal < 0 || o.edfSignal > 100000) {
            return reporter.Fail(kExitUsage, "--signal " + o.Typed("--signal") + ": not a signal number");
        }
        choice.index = static_cast<int>(o.edfSignal);
    }
    choice.label = o.signalLabel;
    qoltanalysis::Signal signal;
    if (!ReadRecordingSignal(o.document, choice, signal, error)) {
        return reporter.Fail(kExitFileUnreadable, "cannot read " + o.document + ": " + error);
    }
    qoltanalysis::Report report;
    if (!qoltanalysis::Analyze(signal, spec, report, error)) {
        return reporter.Fail(kExitAnalysis, o.document + ": " + error);
    }

    const PlanJson json = ReportJson(o, plan, signal, report);
    if (o.report && !WriteText(*o.report, json.dump(2) + "\n")) {
        return reporter.Fail(kExitOutputFile, "cannot write " + *o.report);
    }
    if (o.plot) {
        qoltanalysis::ResponsePlotOptions plot;
        plot.title = "Response: " + o.document + (plan.name.empty() ? "" : " (" + plan.name + ")");
        if (!WriteText(*o.plot, qoltanalysis::RenderResponsePlot(report, plot))) {
            return reporter.Fail(kExitOutputFile, "cannot write " + *o.plot);
        }
    }
    if (reporter.Json()) {
        std::printf("%s\n", json.dump().c_str());
    } else {
        std::fputs(qoltanalysis::FormatTable(signal, report).c_str(), stdout);
        if (o.report) {
            std::printf("wrote %s\n", o.report->c_str());
        }
        if (o.plot) {
            std::printf("wrote %s\n", o.plot->c_str());
        }
    }
    std::fflush(stdout);
    return report.passed ? kExitOk : kExitFailure;
}

} // namespace qoltcli
