#include "analysis/MarkerSearch.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace qoltanalysis {

namespace {

std::string Seconds(double s) {
    char text[32];
    std::snprintf(text, sizeof text, "%.3f s", s);
    return text;
}

} // namespace

MarkerMatch FindSquareBurst(const std::vector<double>& x, double rate, const SquareBurst& burst,
                            double threshold) {
    MarkerMatch m;
    if (!(rate > 0.0) || !(burst.frequency > 0.0) || burst.cycles < 1) {
        m.problem = "no marker to look for";
        return m;
    }
    const double halfPeriod = rate / (2.0 * burst.frequency);
    if (halfPeriod < 2.0) {
        char text[160];
        std::snprintf(text, sizeof text, "%g samples/s cannot resolve the marker's %g Hz square wave", rate,
                      burst.frequency);
        m.problem = text;
        return m;
    }
    // Half-cycle edges in samples from the burst's start: +1 on even halves, -1 on odd ones.
    const size_t halves = static_cast<size_t>(burst.cycles) * 2;
    std::vector<size_t> edge(halves + 1);
    const bool given = burst.edges.size() == halves + 1;
    for (size_t j = 0; j <= halves; ++j) {
        const double at =
            given ? (burst.edges[j] - burst.edges[0]) * rate : static_cast<double>(j) * halfPeriod;
        edge[j] = static_cast<size_t>(std::llround(std::max(0.0, at)));
        if (j > 0 && edge[j] <= edge[j - 1]) {
            m.problem = "the marker's edges are not in order";
            return m;
        }
    }
    const size_t length = edge[halves];
    const size_t n = x.size();
    if (n < length) {
        m.problem = "the recording (" + Seconds(static_cast<double>(n) / rate) +
                    ") is shorter than the marker (" + Seconds(static_cast<double>(length) / rate) + ")";
        return m;
    }

    // Running sums of the recording less its mean: the correlation's terms without cancellation.
    double mean = 0.0;
    for (double v : x) {
        mean += v;
    }
    mean /= static_cast<double>(n);
    std::vector<double> s1(n + 1, 0.0), s2(n + 1, 0.0);
    for (size_t i = 0; i < n; ++i) {
        const double v = x[i] - mean;
        s1[i + 1] = s1[i] + v;
        s2[i + 1] = s2[i] + v * v;
    }
    if (!(s2[n] > 0.0) || !std::isfinite(s2[n])) {
        m.problem = "the signal is constant";
        return m;
    }

    const double len = static_cast<double>(length);
    double templateSum = 0.0;
    for (size_t j = 0; j < halves; ++j) {
        templateSum += (j % 2 == 0 ? 1.0 : -1.0) * static_cast<double>(edge[j + 1] - edge[j]);
    }
    const double templateVariance = len - templateSum * templateSum / len;
    // A window this much quieter than the recording as a whole is taken as flat.
    const double flat = 1e-12 * s2[n] / static_cast<double>(n) * len;

    const size_t positions = n - length + 1;
    std::vector<float> r(positions);
    size_t bestAt = 0;
    double best = 0.0;
    for (size_t p = 0; p < positions; ++p) {
        double c = 0.0;
        for (size_t j = 0; j < halves; j += 2) {
            c += (s1[p + edge[j + 1]] - s1[p + edge[j]]) - (s1[p + edge[j + 2]] - s1[p + edge[j + 1]]);
        }
        const double sum = s1[p + length] - s1[p];
        const double variance = (s2[p + length] - s2[p]) - sum * sum / len;
        double v = 0.0;
        if (variance > flat) {
            v = (c - sum * templateSum / len) / std::sqrt(variance * templateVariance);
        }
        r[p] = static_cast<float>(v);
        if (std::fabs(v) > std::fabs(best)) {
            best = v;
            bestAt = p;
        }
    }
    m.best = best;
    m.bestTime = static_cast<double>(bestAt) / rate;
    if (std::fabs(best) < threshold) {
        char text[200];
        std::snprintf(text, sizeof text,
                      "no marker (a %g Hz square burst of %d cycles) found: the best match, at %.3f s, "
                      "correlates %.2f, below %.2f",
                      burst.frequency, burst.cycles, m.bestTime, std::fabs(best), threshold);
        m.problem = text;
        return m;
    }

    // The marker opens the plan: the earliest offset that matches nearly as well as the best one, then the
    // best within a burst's length after it (offsets a cycle early or late match a little less).
    const double accept = std::max(threshold, std::fabs(best) - 0.1);
    size_t first = 0;
    while (std::fabs(r[first]) < accept) {
        ++first;
    }
    size_t at = first;
    for (size_t p = first; p < positions && p <= first + length; ++p) {
        if (std::fabs(r[p]) > std::fabs(r[at])) {
            at = p;
        }
    }
    double offset = 0.0;
    if (at > 0 && at + 1 < positions) {
        const double a = std::fabs(r[at - 1]), b = std::fabs(r[at]), c = std::fabs(r[at + 1]);
        const double curvature = a - 2.0 * b + c;
        if (curvature < 0.0) {
            offset = std::clamp(0.5 * (a - c) / curvature, -0.5, 0.5);
        }
    }
    m.found = true;
    m.correlation = r[at];
    m.time = (static_cast<double>(at) + offset) / rate;
    return m;
}

} // namespace qoltanalysis
