#include "analysis/ReportText.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace qoltanalysis {

namespace {

enum class Style { General, Fixed, Signed };

// `digits`: significant digits (General) or decimals.
std::string Format(double v, Style style, int digits) {
    char text[64];
    switch (style) {
    case Style::General:
        std::snprintf(text, sizeof text, "%.*g", digits, v);
        break;
    case Style::Fixed:
        std::snprintf(text, sizeof text, "%.*f", digits, v);
        break;
    case Style::Signed:
        std::snprintf(text, sizeof text, "%+.*f", digits, v);
        break;
    }
    return text;
}

std::string Number(double v) {
    return Format(v, Style::General, 6);
}

std::string Optional(const std::optional<double>& v, Style style, int digits) {
    return v && std::isfinite(*v) ? Format(*v, style, digits) : (v ? std::string("-inf") : std::string("-"));
}

} // namespace

const char* FigureShortName(Figure figure) {
    switch (figure) {
    case Figure::ResponseDb:
        return "dB";
    case Figure::ResponsePercent:
        return "%";
    case Figure::ResponseRatio:
        return "ratio";
    case Figure::Amplitude:
        return "amplitude";
    case Figure::PhaseDeg:
        return "phase";
    case Figure::Mean:
        return "mean";
    case Figure::PeakToValley:
        return "p-v";
    }
    return "";
}

std::string LimitText(const Limit& l) {
    const std::string name = FigureShortName(l.figure);
    if (l.min && l.max) {
        return name + " " + Number(*l.min) + ".." + Number(*l.max);
    }
    if (l.min) {
        return name + " >= " + Number(*l.min);
    }
    if (l.max) {
        return name + " <= " + Number(*l.max);
    }
    return name;
}

std::string FormatTable(const Signal& signal, const Report& report) {
    std::string out;
    char line[400];
    std::snprintf(
        line, sizeof line,
        "marker at %.4f s of the recording (correlation %.3f%s); %g samples/s; signal \"%s\"%s%s%s\n",
        report.marker.time, std::fabs(report.marker.correlation),
        report.marker.correlation < 0.0 ? ", inverted" : "", signal.rate, signal.label.c_str(),
        signal.unit.empty() ? "" : " (", signal.unit.c_str(), signal.unit.empty() ? "" : ")");
    out += line;
    if (report.reference >= 0 && static_cast<size_t>(report.reference) < report.steps.size()) {
        out += "response relative to step " + std::to_string(report.reference + 1) + " (\"" +
               report.steps[static_cast<size_t>(report.reference)].spec.label + "\")\n";
    }
    out += "\n";

    std::vector<std::vector<std::string>> rows;
    rows.push_back({"#", "step", "Hz", "amplitude", "phase", "response %", "dB", "mean", "peak-valley",
                    "verdict", "limits"});
    for (size_t i = 0; i < report.steps.size(); ++i) {
        const StepResult& r = report.steps[i];
        std::string limits;
        for (const Limit& l : r.spec.limits) {
            limits += (limits.empty() ? "" : ", ") + LimitText(l);
        }
        const bool played = r.verdict != Verdict::NotPlayed;
        rows.push_back({std::to_string(i + 1), r.spec.label, r.spec.sine ? Number(r.spec.frequency) : "-",
                        Optional(r.amplitude, Style::General, 6), Optional(r.phaseDeg, Style::Signed, 1),
                        Optional(r.percent, Style::Fixed, 2), Optional(r.db, Style::Signed, 3),
                        played ? Format(r.mean, Style::General, 6) : "-",
                        played ? Format(r.peakToValley, Style::General, 6) : "-", VerdictName(r.verdict),
                        limits});
    }
    std::vector<size_t> width(rows[0].size(), 0);
    for (const auto& row : rows) {
        for (size_t c = 0; c < row.size(); ++c) {
            width[c] = std::max(width[c], row[c].size());
        }
    }
    for (const auto& row : rows) {
        std::string text;
        for (size_t c = 0; c < row.size(); ++c) {
            // Text columns to the left, numbers to the right.
            const bool left = c == 1 || c == 9 || c == 10;
            const std::string pad(width[c] - row[c].size(), ' ');
            text += (c == 0 ? "" : "  ") + (left ? row[c] + pad : pad + row[c]);
        }
        while (!text.empty() && text.back() == ' ') {
            text.pop_back();
        }
        out += text + "\n";
    }
    size_t judged = 0, failed = 0, missing = 0;
    for (const StepResult& r : report.steps) {
        judged += r.verdict == Verdict::Pass || r.verdict == Verdict::Fail ? 1 : 0;
        failed += r.verdict == Verdict::Fail ? 1 : 0;
        missing += r.verdict == Verdict::NotPlayed && !r.spec.limits.empty() ? 1 : 0;
    }
    out += "\n";
    if (failed > 0 || missing > 0) {
        out += "FAIL: " + std::to_string(failed) + " of " + std::to_string(judged) +
               " judged steps outside their limits";
        if (missing > 0) {
            out += ", " + std::to_string(missing) + " steps with limits not played";
        }
        out += "\n";
    } else {
        out += "pass: " + std::to_string(judged) + " judged steps within their limits\n";
    }
    return out;
}

} // namespace qoltanalysis
