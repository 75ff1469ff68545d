// The synthesis sine against the C library's over the arguments the waveforms produce.
#include "synth/Sine.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>

namespace {

constexpr double kTol = 4.5e-16; // two units in the last place of values near 1

TEST(Sine, MatchesTheLibrarySineOverSmallArguments) {
    for (double x = -20.0; x <= 20.0; x += 1.0e-4) {
        ASSERT_NEAR(_Sine(x), std::sin(x), kTol) << x;
    }
}

TEST(Sine, MatchesTheLibrarySineOverLargeArguments) {
    std::mt19937_64 gen(7);
    std::uniform_real_distribution<double> dist(-823549.0, 823549.0);
    for (int i = 0; i < 200000; ++i) {
        const double x = dist(gen);
        ASSERT_NEAR(_Sine(x), std::sin(x), kTol) << x;
    }
}

TEST(Sine, QuadrantBoundariesAndTheReductionLimit) {
    // Arguments next to multiples of pi/4, where the quadrant choice flips.
    for (int k = -4000; k <= 4000; ++k) {
        const double centre = k * 0.78539816339744830962;
        for (double x : {std::nextafter(centre, -1e9), centre, std::nextafter(centre, 1e9)}) {
            ASSERT_NEAR(_Sine(x), std::sin(x), kTol) << x;
        }
    }
    for (double x : {823548.9, 823549.0, 823549.1, 1.0e7, -1.0e7, 1.0e300}) {
        EXPECT_NEAR(_Sine(x), std::sin(x), kTol) << x;
    }
}

TEST(Sine, NotANumberStaysNotANumber) {
    EXPECT_TRUE(std::isnan(_Sine(std::numeric_limits<double>::quiet_NaN())));
    EXPECT_TRUE(std::isnan(_Sine(std::numeric_limits<double>::infinity())));
    EXPECT_TRUE(std::isnan(_Sine(-std::numeric_limits<double>::infinity())));
}

} // namespace
