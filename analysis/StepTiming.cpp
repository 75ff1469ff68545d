#include "analysis/StepTiming.h"

#include <cmath>

namespace qoltanalysis {

int64_t WaveformStart(int64_t runningStart, int64_t requested, double period, double frequency) {
    if (!(period > 0.0) || !std::isfinite(period) || requested < runningStart) {
        return requested;
    }
    // The library accumulates its output time sample by sample; so does this, to land on the same sample.
    double t = 0.0;
    const int64_t limit = requested + static_cast<int64_t>(period / kOutputSampleSeconds) + 4;
    for (int64_t k = runningStart; k <= limit; ++k) {
        const double phase = t - period * std::trunc(t / period);
        t += kOutputSampleSeconds;
        if (k >= requested && (period - phase < 0.0004 || frequency < 0.15)) {
            return k + 1;
        }
    }
    return requested;
}

std::vector<int64_t> SquareEdges(double period, int cycles) {
    std::vector<int64_t> edges;
    if (!(period > 0.0) || !std::isfinite(period) || cycles < 1) {
        return edges;
    }
    const size_t count = static_cast<size_t>(cycles) * 2 + 1;
    edges.push_back(0);
    double t = 0.0;
    bool positive = true;
    const int64_t limit = static_cast<int64_t>(period / kOutputSampleSeconds * (cycles + 1)) + 4;
    for (int64_t k = 0; k <= limit && edges.size() < count; ++k) {
        const double phase = t - period * std::trunc(t / period);
        t += kOutputSampleSeconds;
        const bool now = phase < period / 2.0;
        if (now != positive) {
            edges.push_back(k);
            positive = now;
        }
    }
    return edges;
}

} // namespace qoltanalysis
