#include "analysis/ResponsePlot.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

namespace qoltanalysis {

namespace {

struct Point {
    double frequency = 0.0;
    double db = 0.0;
    std::optional<double> low, high; // limits in dB
    Verdict verdict = Verdict::NotJudged;
    bool reference = false;
};

std::string Escape(const std::string& text) {
    std::string out;
    for (char c : text) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        default:
            out += static_cast<unsigned char>(c) < 32 ? ' ' : c;
        }
    }
    return out;
}

std::string Num(double v) {
    char text[32];
    std::snprintf(text, sizeof text, "%.2f", v);
    return text;
}

std::string Label(double v) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", v);
    return text;
}

// A limit of the response in dB, from whichever form the step gives it in.
void LimitsInDb(const StepResult& r, Point& p) {
    auto tighten = [](std::optional<double>& slot, double v, bool low) {
        if (std::isfinite(v)) {
            slot = slot ? (low ? std::max(*slot, v) : std::min(*slot, v)) : v;
        }
    };
    auto db = [](double ratio) { return ratio > 0.0 ? 20.0 * std::log10(ratio) : -HUGE_VAL; };
    for (const Limit& l : r.spec.limits) {
        double scale = 0.0; // 0: in dB already
        if (l.figure == Figure::ResponsePercent) {
            scale = 0.01;
        } else if (l.figure == Figure::ResponseRatio) {
            scale = 1.0;
        } else if (l.figure != Figure::ResponseDb) {
            continue;
        }
        if (l.min) {
            tighten(p.low, scale == 0.0 ? *l.min : db(*l.min * scale), true);
        }
        if (l.max) {
            tighten(p.high, scale == 0.0 ? *l.max : db(*l.max * scale), false);
        }
    }
}

double NiceStep(double span) {
    static const double steps[] = {0.01, 0.02, 0.05, 0.1, 0.2, 0.5, 1, 2, 5, 10, 20, 50, 100};
    for (double s : steps) {
        if (span / s <= 10.0) {
            return s;
        }
    }
    return 200.0;
}

} // namespace

std::string RenderResponsePlot(const Report& report, const ResponsePlotOptions& o) {
    std::vector<Point> points;
    for (size_t i = 0; i < report.steps.size(); ++i) {
        const StepResult& r = report.steps[i];
        if (r.db && std::isfinite(*r.db) && r.spec.frequency > 0.0) {
            Point p;
            p.reference = static_cast<int>(i) == report.reference;
            p.frequency = r.spec.frequency;
            p.db = *r.db;
            p.verdict = r.verdict;
            LimitsInDb(r, p);
            points.push_back(p);
        }
    }
    std::sort(points.begin(), points.end(),
              [](const Point& a, const Point& b) { return a.frequency < b.frequency; });

    const double left = 78, right = 24, top = 52, bottom = 58;
    const double w = o.width, h = o.height;
    const double plotW = w - left - right, plotH = h - top - bottom;

    double fLow = 1.0, fHigh = 100.0, dbLow = -3.0, dbHigh = 1.0;
    if (!points.empty()) {
        fLow = fHigh = points.front().frequency;
        dbLow = dbHigh = 0.0;
        for (const Point& p : points) {
            fLow = std::min(fLow, p.frequency);
            fHigh = std::max(fHigh, p.frequency);
            dbLow = std::min(dbLow, p.db);
            dbHigh = std::max(dbHigh, p.db);
            if (p.low) {
                dbLow = std::min(dbLow, *p.low);
            }
            if (p.high) {
                dbHigh = std::max(dbHigh, *p.high);
            }
        }
    }
    const double decadeLow = std::floor(std::log10(fLow));
    double decadeHigh = std::ceil(std::log10(fHigh));
    if (decadeHigh <= decadeLow) {
        decadeHigh = decadeLow + 1.0;
    }
    const double pad = std::max(0.25, 0.08 * (dbHigh - dbLow));
    const double step = NiceStep(dbHigh - dbLow + 2.0 * pad);
    const double yLow = std::floor((dbLow - pad) / step) * step;
    const double yHigh = std::ceil((dbHigh + pad) / step) * step;

    auto X = [&](double f) { return left + (std::log10(f) - decadeLow) / (decadeHigh - decadeLow) * plotW; };
    auto Y = [&](double db) { return top + (yHigh - db) / (yHigh - yLow) * plotH; };

    std::string s;
    s += "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
    s += "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" + Label(w) + "\" height=\"" + Label(h) +
         "\" viewBox=\"0 0 " + Label(w) + " " + Label(h) +
         "\" font-family=\"sans-serif\" font-size=\"12\">\n";
    s += "<rect width=\"100%\" height=\"100%\" fill=\"white\"/>\n";
    s += "<text x=\"" + Num(left) + "\" y=\"22\" font-size=\"14\">" + Escape(o.title) + "</text>\n";
    std::string reference;
    if (report.reference >= 0 && static_cast<size_t>(report.reference) < report.steps.size()) {
        reference = " relative to " + report.steps[static_cast<size_t>(report.reference)].spec.label;
    }
    s += "<text x=\"" + Num(left) + "\" y=\"40\" fill=\"#555\">response in dB" + Escape(reference) +
         "</text>\n";

    // Grid, ticks and labels.
    s += "<g id=\"grid\" stroke=\"#ddd\" stroke-width=\"1\">\n";
    std::string labels;
    for (double d = decadeLow; d <= decadeHigh + 1e-9; d += 1.0) {
        for (int m : {1, 2, 5}) {
            const double f = m * std::pow(10.0, d);
            if (std::log10(f) > decadeHigh + 1e-9) {
                break;
            }
            const double x = X(f);
            s += "<line x1=\"" + Num(x) + "\" y1=\"" + Num(top) + "\" x2=\"" + Num(x) + "\" y2=\"" +
                 Num(top + plotH) + "\"" + (m == 1 ? " stroke=\"#bbb\"" : "") + "/>\n";
            labels += "<text x=\"" + Num(x) + "\" y=\"" + Num(top + plotH + 16) +
                      "\" text-anchor=\"middle\"" + (m == 1 ? "" : " fill=\"#777\" font-size=\"10\"") + ">" +
                      Label(f) + "</text>\n";
        }
    }
    for (double v = yLow; v <= yHigh + step * 1e-6; v += step) {
        const double y = Y(v);
        s += "<line x1=\"" + Num(left) + "\" y1=\"" + Num(y) + "\" x2=\"" + Num(left + plotW) + "\" y2=\"" +
             Num(y) + "\"" + (std::fabs(v) < step * 1e-6 ? " stroke=\"#888\"" : "") + "/>\n";
        labels += "<text x=\"" + Num(left - 6) + "\" y=\"" + Num(y + 4) + "\" text-anchor=\"end\">" +
                  Label(std::fabs(v) < step * 1e-6 ? 0.0 : v) + "</text>\n";
    }
    s += "</g>\n" + labels;
    s += "<rect x=\"" + Num(left) + "\" y=\"" + Num(top) + "\" width=\"" + Num(plotW) + "\" height=\"" +
         Num(plotH) + "\" fill=\"none\" stroke=\"#333\"/>\n";
    s += "<text x=\"" + Num(left + plotW / 2) + "\" y=\"" + Num(h - 14) +
         "\" text-anchor=\"middle\">frequency (Hz)</text>\n";
    s += "<text transform=\"translate(20 " + Num(top + plotH / 2) +
         ") rotate(-90)\" text-anchor=\"middle\">response (dB)</text>\n";

    // Limits: dashed lines between neighbouring points that both have one, a bar at each point.
    for (int side = 0; side < 2; ++side) {
        std::string d;
        bool open = false;
        std::string bars;
        for (const Point& p : points) {
            const std::optional<double>& v = side == 0 ? p.low : p.high;
            if (!v || !std::isfinite(*v)) {
                open = false;
                continue;
            }
            d += std::string(open ? " L" : (d.empty() ? "M" : " M")) + Num(X(p.frequency)) + " " + Num(Y(*v));
            open = true;
            bars += "<line x1=\"" + Num(X(p.frequency) - 8) + "\" y1=\"" + Num(Y(*v)) + "\" x2=\"" +
                    Num(X(p.frequency) + 8) + "\" y2=\"" + Num(Y(*v)) + "\"/>\n";
        }
        if (!d.empty()) {
            s += std::string("<g id=\"") + (side == 0 ? "limit-low" : "limit-high") +
                 "\" stroke=\"#c33\" stroke-width=\"1.5\" fill=\"none\">\n<path stroke-dasharray=\"6 4\" "
                 "d=\"" +
                 d + "\"/>\n" + bars + "</g>\n";
        }
    }

    if (points.empty()) {
        s += "<text x=\"" + Num(left + plotW / 2) + "\" y=\"" + Num(top + plotH / 2) +
             "\" text-anchor=\"middle\" fill=\"#777\">no sine steps measured</text>\n";
    } else {
        std::string d;
        for (const Point& p : points) {
            d += (d.empty() ? "M" : " L") + Num(X(p.frequency)) + " " + Num(Y(p.db));
        }
        s += "<path id=\"response\" d=\"" + d + "\" stroke=\"#1f5fbf\" stroke-width=\"2\" fill=\"none\"/>\n";
        s += "<g id=\"points\" stroke=\"#222\" stroke-width=\"1\">\n";
        for (const Point& p : points) {
            const char* fill = p.verdict == Verdict::Pass   ? "#2a9d2a"
                               : p.verdict == Verdict::Fail ? "#d62728"
                                                            : "#1f5fbf";
            s += "<circle cx=\"" + Num(X(p.frequency)) + "\" cy=\"" + Num(Y(p.db)) + "\" r=\"4.5\" fill=\"" +
                 fill + "\"><title>" + Label(p.frequency) + " Hz: " + Num(p.db) + " dB (" +
                 VerdictName(p.verdict) + ")</title></circle>\n";
        }
        s += "</g>\n";
        for (const Point& p : points) {
            if (p.reference) {
                s += "<text x=\"" + Num(X(p.frequency)) + "\" y=\"" + Num(Y(p.db) - 10) +
                     "\" text-anchor=\"middle\" font-size=\"10\" fill=\"#1f5fbf\">reference</text>\n";
            }
        }
    }
    // Legend, in one row above the plot's right end.
    const double lx = left + plotW - 250, ly = 40;
    s += "<g id=\"legend\" font-size=\"11\">\n";
    s += "<line x1=\"" + Num(lx) + "\" y1=\"" + Num(ly - 4) + "\" x2=\"" + Num(lx + 20) + "\" y2=\"" +
         Num(ly - 4) + "\" stroke=\"#1f5fbf\" stroke-width=\"2\"/><text x=\"" + Num(lx + 25) + "\" y=\"" +
         Num(ly) + "\">measured</text>\n";
    s += "<line x1=\"" + Num(lx + 85) + "\" y1=\"" + Num(ly - 4) + "\" x2=\"" + Num(lx + 105) + "\" y2=\"" +
         Num(ly - 4) + "\" stroke=\"#c33\" stroke-width=\"1.5\" stroke-dasharray=\"6 4\"/><text x=\"" +
         Num(lx + 110) + "\" y=\"" + Num(ly) + "\">limits</text>\n";
    s += "<circle cx=\"" + Num(lx + 160) + "\" cy=\"" + Num(ly - 4) +
         "\" r=\"4\" fill=\"#2a9d2a\"/><circle cx=\"" + Num(lx + 172) + "\" cy=\"" + Num(ly - 4) +
         "\" r=\"4\" fill=\"#d62728\"/><text x=\"" + Num(lx + 181) + "\" y=\"" + Num(ly) +
         "\">pass / FAIL</text>\n";
    s += "</g>\n</svg>\n";
    return s;
}

} // namespace qoltanalysis
