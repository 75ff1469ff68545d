#pragma once

#include <cmath>

// sin(x) for the per-sample synthesis: the library's sine, several times faster on the packet path, to
// within a few units in the last place. Arguments reach a few hundred thousand radians (output time
// times 2*pi*60 Hz); beyond the reduction's exact range, and for NaN and infinity, the library's sine.
inline double _Sine(double x) {
    // pi/2 in three parts of 33, 33 and 53 bits: k * part is exact for |k| < 2^19.
    constexpr double kPio2Hi = 0x1.921fb544p+0;
    constexpr double kPio2Mid = 0x1.0b4611a6p-34;
    constexpr double kPio2Lo = 0x1.3198a2e037073p-69;
    constexpr double kTwoOverPi = 0x1.45f306dc9c883p-1;
    constexpr double kMaxReduced = 823549.0; // < 2^19 * pi/2

    if (!(std::fabs(x) <= kMaxReduced)) {
        return std::sin(x);
    }
    // Nearest quadrant by a truncating conversion (no rounding-mode or excess-precision tricks).
    const long long k = static_cast<long long>(x * kTwoOverPi + (x >= 0.0 ? 0.5 : -0.5));
    const double kd = static_cast<double>(k);
    const double r = ((x - kd * kPio2Hi) - kd * kPio2Mid) - kd * kPio2Lo; // |r| <= pi/4 (+ a rounding)
    const double r2 = r * r;
    const long long quadrant = k & 3;

    double v;
    if ((quadrant & 1) == 0) {
        // Taylor terms to r^15: the first omitted one is below 5e-17 for |r| <= pi/4.
        v = r +
            r * r2 *
                (-1.0 / 6 +
                 r2 * (1.0 / 120 + r2 * (-1.0 / 5040 +
                                         r2 * (1.0 / 362880 + r2 * (-1.0 / 39916800 +
                                                                    r2 * (1.0 / 6227020800.0 +
                                                                          r2 * (-1.0 / 1307674368000.0)))))));
    } else {
        // cos(r) to r^16.
        v = 1.0 + r2 * (-1.0 / 2 +
                        r2 * (1.0 / 24 +
                              r2 * (-1.0 / 720 + r2 * (1.0 / 40320 +
                                                       r2 * (-1.0 / 3628800 +
                                                             r2 * (1.0 / 479001600.0 +
                                                                   r2 * (-1.0 / 87178291200.0 +
                                                                         r2 * (1.0 / 20922789888000.0))))))));
    }
    return quadrant >= 2 ? -v : v;
}
