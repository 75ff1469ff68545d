#include "sim/SvgPlotWriter.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <unistd.h>

namespace qoltsim {

namespace {

std::string Escaped(const std::string& text) {
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
            if (static_cast<unsigned char>(c) >= 32 || c == '\t') {
                out += c;
            }
        }
    }
    return out;
}

std::string Num(double v, int decimals = 1) {
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", decimals, v);
    std::string s = text;
    if (s.find('.') != std::string::npos) {
        while (s.back() == '0') {
            s.pop_back();
        }
        if (s.back() == '.') {
            s.pop_back();
        }
    }
    return s == "-0" ? "0" : s;
}

// A step of 1, 2 or 5 times a power of ten giving about `target` intervals over `span`.
double NiceStep(double span, int target) {
    const double raw = span / target;
    const double magnitude = std::pow(10.0, std::floor(std::log10(raw)));
    const double norm = raw / magnitude;
    const double factor = norm < 1.5 ? 1.0 : norm < 3.0 ? 2.0 : norm < 7.0 ? 5.0 : 10.0;
    return factor * magnitude;
}

int Decimals(double step) {
    return std::max(0, static_cast<int>(-std::floor(std::log10(step) + 1e-9)));
}

} // namespace

std::string RenderSvgPlot(const Capture& capture, const PlotOptions& options) {
    const double width = std::max(320, options.width);
    const double height = std::max(200, options.height);
    const double left = 76, right = 24, top = 48, bottom = 56;
    const double plotW = width - left - right;
    const double plotH = height - top - bottom;

    const double seconds = std::max(capture.Seconds(), kTickSeconds);
    double lo = 0.0, hi = 0.0;
    if (!capture.samples.empty()) {
        lo = hi = capture.samples.front().value;
        for (const CaptureSample& s : capture.samples) {
            lo = std::min(lo, s.value);
            hi = std::max(hi, s.value);
        }
    }
    if (hi - lo < 1e-9) {
        lo -= 0.5;
        hi += 0.5;
    }
    // Some room above and below, so that peaks do not run into the frame.
    const double margin = (hi - lo) * 0.04;
    lo -= margin;
    hi += margin;
    const double yStep = NiceStep(hi - lo, 6);
    lo = std::floor(lo / yStep) * yStep;
    hi = std::ceil(hi / yStep) * yStep;
    const double xStep = NiceStep(seconds, 10);

    auto X = [&](double t) { return left + t / seconds * plotW; };
    auto Y = [&](double v) { return top + (hi - v) / (hi - lo) * plotH; };

    std::string svg;
    svg.reserve(64 * 1024);
    svg += "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
    svg += "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" + Num(width) + "\" height=\"" + Num(height) +
           "\" viewBox=\"0 0 " + Num(width) + " " + Num(height) +
           "\" font-family=\"DejaVu Sans, Arial, sans-serif\" font-size=\"12\">\n";
    svg += "<rect width=\"100%\" height=\"100%\" fill=\"#ffffff\"/>\n";

    const size_t pacing = capture.CountAnnotations(AnnotationKind::Pacing);
    svg += "<text x=\"" + Num(left) + "\" y=\"20\" font-size=\"15\" font-weight=\"bold\" fill=\"#222\">" +
           Escaped(options.title.empty() ? "Virtual instrument output" : options.title) + "</text>\n";
    char subtitle[160];
    std::snprintf(subtitle, sizeof subtitle, "%.4g s, %zu samples%s, %zu pacing pulse%s", capture.Seconds(),
                  capture.samples.size(), capture.HasShortSamples() ? " (some of 0.1 ms)" : "", pacing,
                  pacing == 1 ? "" : "s");
    svg += "<text x=\"" + Num(left) + "\" y=\"38\" fill=\"#666\">" + subtitle + "</text>\n";

    // Grid and tick labels.
    svg += "<g stroke=\"#e4e4e4\" stroke-width=\"1\">\n";
    const int xTicks = static_cast<int>(std::floor(seconds / xStep + 1e-9));
    for (int i = 0; i <= xTicks; ++i) {
        const double x = X(i * xStep);
        svg += "<line x1=\"" + Num(x) + "\" y1=\"" + Num(top) + "\" x2=\"" + Num(x) + "\" y2=\"" +
               Num(top + plotH) + "\"/>\n";
    }
    const int yTicks = static_cast<int>(std::lround((hi - lo) / yStep));
    for (int i = 0; i <= yTicks; ++i) {
        const double y = Y(lo + i * yStep);
        svg += "<line x1=\"" + Num(left) + "\" y1=\"" + Num(y) + "\" x2=\"" + Num(left + plotW) + "\" y2=\"" +
               Num(y) + "\"/>\n";
    }
    svg += "</g>\n";
    if (lo < 0.0 && hi > 0.0) {
        svg += "<line x1=\"" + Num(left) + "\" y1=\"" + Num(Y(0.0)) + "\" x2=\"" + Num(left + plotW) +
               "\" y2=\"" + Num(Y(0.0)) + "\" stroke=\"#b0b0b0\" stroke-width=\"1\"/>\n";
    }
    svg += "<g fill=\"#333\" font-size=\"11\">\n";
    const int xDecimals = Decimals(xStep);
    for (int i = 0; i <= xTicks; ++i) {
        svg += "<text x=\"" + Num(X(i * xStep)) + "\" y=\"" + Num(top + plotH + 16) +
               "\" text-anchor=\"middle\">" + Num(i * xStep, xDecimals) + "</text>\n";
    }
    const int yDecimals = Decimals(yStep);
    for (int i = 0; i <= yTicks; ++i) {
        svg += "<text x=\"" + Num(left - 6) + "\" y=\"" + Num(Y(lo + i * yStep) + 4) +
               "\" text-anchor=\"end\">" + Num(lo + i * yStep, yDecimals) + "</text>\n";
    }
    svg += "</g>\n";
    svg += "<text x=\"" + Num(left + plotW / 2) + "\" y=\"" + Num(height - 12) +
           "\" text-anchor=\"middle\" fill=\"#222\">time (s)</text>\n";
    svg += "<text transform=\"translate(16 " + Num(top + plotH / 2) +
           ") rotate(-90)\" text-anchor=\"middle\" fill=\"#222\">value (sample scale)</text>\n";

    // The trace: per pixel column its extremes in the order they came, so spikes keep their height.
    const int columns = static_cast<int>(plotW);
    std::string path;
    path.reserve(static_cast<size_t>(columns) * 24);
    auto point = [&](double x, double v) {
        path += path.empty() ? "M" : " ";
        path += Num(x) + "," + Num(Y(v));
    };
    if (capture.samples.size() <= static_cast<size_t>(columns) * 2) {
        for (const CaptureSample& s : capture.samples) {
            point(X(static_cast<double>(s.tick) * kTickSeconds), s.value);
        }
    } else {
        size_t i = 0;
        const double ticksPerColumn = static_cast<double>(capture.endTick) / columns;
        for (int c = 0; c < columns && i < capture.samples.size(); ++c) {
            const double columnEnd = (c + 1) * ticksPerColumn;
            size_t minAt = i, maxAt = i;
            for (; i < capture.samples.size() && static_cast<double>(capture.samples[i].tick) < columnEnd;
                 ++i) {
                if (capture.samples[i].value < capture.samples[minAt].value) {
                    minAt = i;
                }
                if (capture.samples[i].value > capture.samples[maxAt].value) {
                    maxAt = i;
                }
            }
            const double x = left + c + 0.5;
            const size_t first = std::min(minAt, maxAt), second = std::max(minAt, maxAt);
            point(x, capture.samples[first].value);
            if (second != first) {
                point(x, capture.samples[second].value);
            }
        }
    }
    svg += "<path id=\"trace\" d=\"" + path +
           "\" fill=\"none\" stroke=\"#1f5fbf\" stroke-width=\"1.2\" stroke-linejoin=\"round\"/>\n";

    // Pacing markers, one line per pixel column at most.
    if (pacing > 0) {
        svg += "<g id=\"pacing\" stroke=\"#d62728\" stroke-width=\"1\" stroke-dasharray=\"4,3\" "
               "fill=\"#d62728\">\n";
        long lastColumn = -1;
        for (const CaptureAnnotation& a : capture.annotations) {
            if (a.kind != AnnotationKind::Pacing) {
                continue;
            }
            const double x = X(static_cast<double>(a.tick) * kTickSeconds);
            const long column = std::lround(x);
            if (column == lastColumn) {
                continue;
            }
            lastColumn = column;
            svg += "<line x1=\"" + Num(x) + "\" y1=\"" + Num(top) + "\" x2=\"" + Num(x) + "\" y2=\"" +
                   Num(top + plotH) + "\"/><path stroke=\"none\" d=\"M" + Num(x - 4) + "," + Num(top) + " " +
                   Num(x + 4) + "," + Num(top) + " " + Num(x) + "," + Num(top + 7) + "z\"/>\n";
        }
        svg += "</g>\n";
    }

    svg += "<rect x=\"" + Num(left) + "\" y=\"" + Num(top) + "\" width=\"" + Num(plotW) + "\" height=\"" +
           Num(plotH) + "\" fill=\"none\" stroke=\"#444\" stroke-width=\"1\"/>\n";

    // Legend, top right above the plot.
    const double lx = left + plotW - 250;
    svg += "<g font-size=\"11\" fill=\"#333\">\n";
    svg += "<line x1=\"" + Num(lx) + "\" y1=\"34\" x2=\"" + Num(lx + 18) +
           "\" y2=\"34\" stroke=\"#1f5fbf\" stroke-width=\"2\"/><text x=\"" + Num(lx + 22) +
           "\" y=\"38\">output</text>\n";
    if (pacing > 0) {
        svg += "<line x1=\"" + Num(lx + 80) + "\" y1=\"34\" x2=\"" + Num(lx + 98) +
               "\" y2=\"34\" stroke=\"#d62728\" stroke-width=\"1\" stroke-dasharray=\"4,3\"/><text x=\"" +
               Num(lx + 102) + "\" y=\"38\">pacing pulse</text>\n";
    }
    svg += "</g>\n</svg>\n";
    return svg;
}

bool WriteSvgPlot(const std::string& path, const Capture& capture, const PlotOptions& options,
                  std::string& error) {
    if (capture.samples.empty()) {
        error = "nothing was played";
        return false;
    }
    const std::string svg = RenderSvgPlot(capture, options);
    FILE* f = std::fopen(path.c_str(), "w");
    if (f == nullptr) {
        error = path + ": " + std::strerror(errno);
        return false;
    }
    const bool written = std::fwrite(svg.data(), 1, svg.size(), f) == svg.size();
    if (std::fclose(f) != 0 || !written) {
        error = path + ": write failed: " + std::strerror(errno);
        unlink(path.c_str());
        return false;
    }
    return true;
}

} // namespace qoltsim
