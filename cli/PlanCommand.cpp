// `qolt plan frequency-response`: a ready plan of stepped sines opening with a square-burst marker.
#include "ExitCodes.h"
#include "Plan.h"
#include "PlanCommands.h"

#include <cmath>
#include <cstdio>
#include <fstream>

namespace qoltcli {

namespace {

// The marker: a burst of a square wave the analysis finds in the device's recording.
constexpr double kMarkerFrequency = 4.0;
constexpr double kMarkerSeconds = 2.0;
// A step's waveform begins at the end of the running cycle, up to two packets after its settings go in.
constexpr double kStartLatency = 0.6;

std::string Hz(double f) {
    char text[32];
    std::snprintf(text, sizeof text, "%g Hz", f);
    return text;
}

// Whole numbers as such ("1000", not "1000.0").
PlanJson Value(double v) {
    if (v == std::floor(v) && std::fabs(v) < 1e9) {
        return PlanJson(static_cast<long long>(v));
    }
    return PlanJson(v);
}

// Up to the next millisecond, so that the text is short and the time is never less than needed.
double Millis(double seconds) {
    return std::ceil(seconds * 1000.0 - 1e-6) / 1000.0;
}

} // namespace

int WritePlanCommand(const Options& o, const Reporter& reporter) {
    const std::vector<double> points =
        o.points.empty() ? std::vector<double>{0.67, 1, 2, 5, 10, 20, 40} : o.points;
    const double reference = o.reference.value_or(10.0);
    const double amplitude = o.amplitude.value_or(1000.0);
    const double settle = o.settle.value_or(10.0);
    const long long cycles = o.cycles.value_or(10);
    const double minDb = o.minDb.value_or(-3.0);
    const double maxDb = o.maxDb.value_or(0.5);

    for (double f : points) {
        if (f < 0.05 || f > 500.0) {
            return reporter.Fail(kExitUsage, "--points: " + Hz(f) + " is outside the sine's 0.05 to 500 Hz");
        }
    }
    bool hasReference = false;
    for (double f : points) {
        hasReference = hasReference || f == reference;
    }
    if (!hasReference) {
        return reporter.Fail(kExitUsage, "the reference " + Hz(reference) + " is not one of the points");
    }
    if (!(std::fabs(amplitude) > 0.0) || std::fabs(amplitude) > 2000.0) {
        return reporter.Fail(kExitUsage,
                             "--amplitude " + o.Typed("--amplitude") + ": not 0, within -2000 to 2000");
    }
    if (settle < 0.0 || settle > 3600.0) {
        return reporter.Fail(kExitUsage, "--settle " + o.Typed("--settle") + ": not 0 to 3600 s");
    }
    if (cycles < 1 || cycles > 100000) {
        return reporter.Fail(kExitUsage, "--cycles " + o.Typed("--cycles") + ": not 1 to 100000");
    }
    if (minDb > maxDb) {
        return reporter.Fail(kExitUsage, "--min-db is above --max-db");
    }

    PlanJson plan;
    plan["format"] = "qolt-plan";
    plan["version"] = kPlanFormatVersion;
    plan["name"] = "frequency-response";
    char description[200];
    std::snprintf(
        description, sizeof description,
        "Stepped sines of amplitude %g; response relative to %s within %g to %g dB; %lld cycles measured "
        "per point after %g s of settling",
        amplitude, Hz(reference).c_str(), minDb, maxDb, cycles, settle);
    plan["description"] = description;
    plan["reference"] = Hz(reference);
    PlanJson steps = PlanJson::array();
    PlanJson marker;
    marker["label"] = "marker";
    marker["marker"] = true;
    marker["play"] = "square";
    marker["frequency"] = Value(kMarkerFrequency);
    marker["amplitude"] = Value(amplitude);
    marker["duration"] = Value(kMarkerSeconds);
    steps.push_back(marker);
    double previousPeriod = 1.0 / kMarkerFrequency;
    for (double f : points) {
        // Whole cycles, at least one second of them.
        const double window = std::ceil(std::max(static_cast<double>(cycles), f) - 1e-9) / f;
        PlanJson s;
        s["label"] = Hz(f);
        s["play"] = "sine";
        s["frequency"] = Value(f);
        s["amplitude"] = Value(amplitude);
        s["settle"] = Value(settle);
        s["duration"] = Value(Millis(previousPeriod + kStartLatency + settle + window));
        if (f != reference) {
            PlanJson limits;
            limits["response_db"] = {{"min", Value(minDb)}, {"max", Value(maxDb)}};
            s["limits"] = limits;
        }
        steps.push_back(s);
        previousPeriod = 1.0 / f;
    }
    plan["steps"] = steps;

    // What is written must be a plan this tool runs.
    Plan parsed;
    std::string error;
    if (!ParsePlan(plan, "", parsed, error)) {
        return reporter.Fail(kExitFailure, "the plan made is refused: " + error);
    }
    const std::string text = plan.dump(2) + "\n";
    if (!o.output) {
        std::fputs(text.c_str(), stdout);
        std::fflush(stdout);
        return kExitOk;
    }
    std::ofstream out(*o.output, std::ios::binary | std::ios::trunc);
    out << text;
    out.close();
    if (!out) {
        return reporter.Fail(kExitOutputFile, "cannot write " + *o.output);
    }
    reporter.Line("wrote " + *o.output + " (" + std::to_string(parsed.steps.size()) + " steps, " +
                  std::to_string(static_cast<long long>(std::ceil(parsed.Seconds()))) + " s of output)");
    return kExitOk;
}

} // namespace qoltcli
