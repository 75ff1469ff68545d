#include "analysis/Response.h"

#include "analysis/SineFit.h"

#include <cmath>
#include <cstdio>

namespace qoltanalysis {

namespace {

constexpr double kPi = 3.14159265358979323846;

struct FigureEntry {
    Figure figure;
    const char* name;
    bool sine;
};

constexpr FigureEntry kFigures[] = {
    {Figure::ResponseDb, "response_db", true},       {Figure::ResponsePercent, "response_percent", true},
    {Figure::ResponseRatio, "response_ratio", true}, {Figure::Amplitude, "amplitude", true},
    {Figure::PhaseDeg, "phase_deg", true},           {Figure::Mean, "mean", false},
    {Figure::PeakToValley, "peak_to_valley", false},
};

std::string StepName(size_t index, const StepSpec& s) {
    return "step " + std::to_string(index + 1) + " (\"" + s.label + "\")";
}

std::string Fixed(double v, int decimals) {
    char text[48];
    std::snprintf(text, sizeof text, "%.*f", decimals, v);
    return text;
}

} // namespace

const char* FigureName(Figure figure) {
    for (const FigureEntry& e : kFigures) {
        if (e.figure == figure) {
            return e.name;
        }
    }
    return "";
}

std::optional<Figure> FigureByName(const std::string& name) {
    for (const FigureEntry& e : kFigures) {
        if (name == e.name) {
            return e.figure;
        }
    }
    return std::nullopt;
}

std::string FigureNames() {
    std::string names;
    for (const FigureEntry& e : kFigures) {
        names += (names.empty() ? "" : ", ") + std::string(e.name);
    }
    return names;
}

bool SineFigure(Figure figure) {
    for (const FigureEntry& e : kFigures) {
        if (e.figure == figure) {
            return e.sine;
        }
    }
    return false;
}

const char* VerdictName(Verdict verdict) {
    switch (verdict) {
    case Verdict::Pass:
        return "pass";
    case Verdict::Fail:
        return "FAIL";
    case Verdict::NotPlayed:
        return "not played";
    case Verdict::NotJudged:
        break;
    }
    return "-";
}

std::optional<double> StepResult::Value(Figure figure) const {
    switch (figure) {
    case Figure::ResponseDb:
        return db;
    case Figure::ResponsePercent:
        return percent;
    case Figure::ResponseRatio:
        return ratio;
    case Figure::Amplitude:
        return amplitude;
    case Figure::PhaseDeg:
        return phaseDeg;
    case Figure::Mean:
        return mean;
    case Figure::PeakToValley:
        return peakToValley;
    }
    return std::nullopt;
}

bool Analyze(const Signal& signal, const PlanSpec& plan, Report& report, std::string& error) {
    report = Report{};
    report.recordingSeconds = signal.Seconds();
    report.reference = plan.reference;
    const double rate = signal.rate;
    const std::vector<double>& x = signal.samples;
    if (!(rate > 0.0) || x.empty()) {
        error = "the recording holds no samples";
        return false;
    }
    report.marker = FindSquareBurst(x, rate, plan.marker);
    if (!report.marker.found) {
        error = report.marker.problem;
        return false;
    }
    // Recording time of the output's start.
    const double origin = report.marker.time - plan.markerStart;
    const double afterMarker = report.recordingSeconds - report.marker.time;

    for (size_t i = 0; i < plan.steps.size(); ++i) {
        const StepSpec& spec = plan.steps[i];
        StepResult r;
        r.spec = spec;
        if (!spec.played) {
            r.verdict = Verdict::NotPlayed;
            report.steps.push_back(std::move(r));
            continue;
        }
        r.windowStart = origin + spec.windowStart;
        r.windowEnd = origin + spec.windowEnd;
        const double first = std::ceil(r.windowStart * rate - 1e-9);
        double end = std::ceil(r.windowEnd * rate - 1e-9);
        if (spec.sine && spec.frequency > 0.0) {
            // Whole cycles: the mean is then the offset, and the fit sees every phase equally often.
            const double cycles = std::floor((r.windowEnd - r.windowStart) * spec.frequency + 1e-9);
            if (cycles >= 1.0) {
                end = first + std::round(cycles / spec.frequency * rate);
            }
        }
        if (first < 0.0) {
            error = StepName(i, spec) + ": its window starts " + Fixed(-r.windowStart, 3) +
                    " s before the recording does";
            return false;
        }
        if (end > static_cast<double>(x.size())) {
            error = "the recording is too short: it ends " + Fixed(afterMarker, 3) +
                    " s after the marker, but " + StepName(i, spec) + "'s window ends " +
                    Fixed(r.windowEnd - report.marker.time, 3) + " s after it";
            return false;
        }
        const size_t i0 = static_cast<size_t>(first);
        const size_t count = end > first ? static_cast<size_t>(end - first) : 0;
        r.windowStart = first / rate;
        r.windowEnd = end / rate;
        if (count < 2) {
            error = StepName(i, spec) + ": its window holds no samples at " + Fixed(rate, 6) + " samples/s";
            return false;
        }
        r.samples = count;
        const WindowStats stats = Stats(&x[i0], count);
        r.mean = stats.mean;
        r.peakToValley = stats.PeakToValley();
        if (spec.sine) {
            if (spec.frequency >= rate / 2.0) {
                error = StepName(i, spec) + ": a " + Fixed(spec.frequency, 3) +
                        " Hz sine cannot be measured at " + Fixed(rate, 3) + " samples/s";
                return false;
            }
            const double firstTime = static_cast<double>(i0) / rate - (origin + spec.waveformStart);
            const SineFit fit = FitSine(&x[i0], count, rate, firstTime, spec.frequency);
            if (!fit.ok) {
                error = StepName(i, spec) + ": no sine can be fitted over its window (" +
                        std::to_string(count) + " samples)";
                return false;
            }
            r.amplitude = fit.amplitude;
            double degrees = fit.phase * 180.0 / kPi;
            if (degrees <= -180.0) {
                degrees += 360.0;
            }
            r.phaseDeg = degrees;
            r.residualRms = fit.residualRms;
        }
        report.steps.push_back(std::move(r));
    }

    if (plan.reference >= 0) {
        if (static_cast<size_t>(plan.reference) >= report.steps.size()) {
            error = "the reference step does not exist";
            return false;
        }
        const StepResult& ref = report.steps[static_cast<size_t>(plan.reference)];
        if (!ref.amplitude || !(*ref.amplitude > 0.0) || !(std::fabs(ref.spec.sourceAmplitude) > 0.0)) {
            error = "the reference step (\"" + ref.spec.label + "\") was not measured as a sine";
            return false;
        }
        const double refGain = *ref.amplitude / std::fabs(ref.spec.sourceAmplitude);
        for (StepResult& r : report.steps) {
            if (r.amplitude && std::fabs(r.spec.sourceAmplitude) > 0.0) {
                r.ratio = *r.amplitude / std::fabs(r.spec.sourceAmplitude) / refGain;
                r.percent = *r.ratio * 100.0;
                r.db = *r.ratio > 0.0 ? 20.0 * std::log10(*r.ratio) : -HUGE_VAL;
            }
        }
    }

    for (StepResult& r : report.steps) {
        if (r.verdict == Verdict::NotPlayed) {
            if (!r.spec.limits.empty()) {
                report.passed = false; // limits never checked are no pass
            }
            continue;
        }
        for (const Limit& l : r.spec.limits) {
            Check c;
            c.figure = l.figure;
            c.min = l.min;
            c.max = l.max;
            const std::optional<double> v = r.Value(l.figure);
            c.value = v.value_or(std::nan(""));
            c.pass = v && std::isfinite(*v) && (!l.min || *v >= *l.min) && (!l.max || *v <= *l.max);
            r.checks.push_back(c);
        }
        if (!r.checks.empty()) {
            bool pass = true;
            for (const Check& c : r.checks) {
                pass = pass && c.pass;
            }
            r.verdict = pass ? Verdict::Pass : Verdict::Fail;
            report.passed = report.passed && pass;
        }
    }
    return true;
}

} // namespace qoltanalysis
