#include "analysis/SineFit.h"

#include <algorithm>
#include <cmath>

namespace qoltanalysis {

namespace {

constexpr double kPi = 3.14159265358979323846;

// Solves the symmetric system a x = b (4 x 4) by elimination with partial pivoting; false when singular
// to working precision relative to the matrix's size.
bool Solve4(double a[4][4], double b[4], double x[4]) {
    double scale = 0.0;
    for (int i = 0; i < 4; ++i) {
        for (int j = 0; j < 4; ++j) {
            scale = std::max(scale, std::fabs(a[i][j]));
        }
    }
    if (!(scale > 0.0)) {
        return false;
    }
    for (int c = 0; c < 4; ++c) {
        int pivot = c;
        for (int r = c + 1; r < 4; ++r) {
            if (std::fabs(a[r][c]) > std::fabs(a[pivot][c])) {
                pivot = r;
            }
        }
        if (std::fabs(a[pivot][c]) < 1e-12 * scale) {
            return false;
        }
        if (pivot != c) {
            std::swap(a[pivot], a[c]);
            std::swap(b[pivot], b[c]);
        }
        for (int r = c + 1; r < 4; ++r) {
            const double f = a[r][c] / a[c][c];
            for (int k = c; k < 4; ++k) {
                a[r][k] -= f * a[c][k];
            }
            b[r] -= f * b[c];
        }
    }
    for (int r = 3; r >= 0; --r) {
        double s = b[r];
        for (int k = r + 1; k < 4; ++k) {
            s -= a[r][k] * x[k];
        }
        x[r] = s / a[r][r];
    }
    return true;
}

} // namespace

SineFit FitSine(const double* samples, size_t count, double rate, double firstTime, double frequency) {
    SineFit fit;
    if (samples == nullptr || count < 8 || !(rate > 0.0) || !(frequency > 0.0) || frequency >= rate / 2.0) {
        return fit;
    }
    // Basis 1, t - middle, sin, cos; the sine's argument is taken modulo a cycle from the window's start
    // so that it stays small however late the window lies.
    const double omega = 2.0 * kPi * frequency;
    const double startPhase = std::fmod(omega * firstTime, 2.0 * kPi);
    const double middle = 0.5 * static_cast<double>(count - 1) / rate;
    const double step = omega / rate;
    double a[4][4] = {};
    double b[4] = {};
    for (size_t i = 0; i < count; ++i) {
        const double t = static_cast<double>(i) / rate;
        const double arg = startPhase + step * static_cast<double>(i);
        const double basis[4] = {1.0, t - middle, std::sin(arg), std::cos(arg)};
        for (int r = 0; r < 4; ++r) {
            for (int c = r; c < 4; ++c) {
                a[r][c] += basis[r] * basis[c];
            }
            b[r] += basis[r] * samples[i];
        }
    }
    for (int r = 0; r < 4; ++r) {
        for (int c = 0; c < r; ++c) {
            a[r][c] = a[c][r];
        }
    }
    double x[4];
    if (!Solve4(a, b, x)) {
        return fit;
    }
    double squares = 0.0;
    for (size_t i = 0; i < count; ++i) {
        const double t = static_cast<double>(i) / rate;
        const double arg = startPhase + step * static_cast<double>(i);
        const double e =
            samples[i] - (x[0] + x[1] * (t - middle) + x[2] * std::sin(arg) + x[3] * std::cos(arg));
        squares += e * e;
    }
    fit.ok = true;
    fit.offset = x[0];
    fit.drift = x[1];
    // c sin + d cos = A sin(arg + phase) with c = A cos(phase), d = A sin(phase).
    fit.amplitude = std::hypot(x[2], x[3]);
    fit.phase = std::atan2(x[3], x[2]);
    fit.residualRms = std::sqrt(squares / static_cast<double>(count));
    return fit;
}

WindowStats Stats(const double* samples, size_t count) {
    WindowStats s;
    if (samples == nullptr || count == 0) {
        return s;
    }
    double sum = 0.0;
    s.minimum = s.maximum = samples[0];
    for (size_t i = 0; i < count; ++i) {
        sum += samples[i];
        s.minimum = std::min(s.minimum, samples[i]);
        s.maximum = std::max(s.maximum, samples[i]);
    }
    s.mean = sum / static_cast<double>(count);
    return s;
}

} // namespace qoltanalysis
