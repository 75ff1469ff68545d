// The pacemaker generator driven sample by sample as the packet builder drives it.
#include "pacing/PacingDrive.h"

#include "synth/MainFunctionVoltage.h"
#include "synth/PacingPulses.h"
#include "synth/PacingState.h"
#include "synth/SynthesisState.h"
#include "synth/WaveformSettings.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <string>
#include <vector>

using namespace pacingtest;

namespace {

constexpr double kTol = 1e-9;
// A pulse starts on the first sample at or after its boundary; with a short sample earlier in the stream
// the sample grid is 0.1 ms off, so the start lies within one sample after the boundary.
constexpr double kStartWindow = 0.000205;

struct PacingSettings {
    double amplitude = 1.0;
    double ms = 2.0;
    unsigned rate = 60;
    int pattern = 0;
    unsigned overshootMs = 0;
    double overshootAmplitude = 0.0;
};

// The settings in force after a change: set-up with the output time restarted.
void Pace(const PacingSettings& p) {
    g_PacingAmplitude = p.amplitude;
    g_PacingDuration = p.ms;
    g_PacingRate = p.rate;
    g_PacingPulse = p.pattern;
    g_NextOvershootTimeConstant = p.overshootMs;
    g_fNextOvershootAmplitude = p.overshootAmplitude;
    g_fOutputTime = 0.0;
    g_fOutputTimeGraph = 0.0;
    _SetUpPacing();
}

// Start of the pulse that leads the boundary `boundary` by `lead` seconds, checked against the window.
void ExpectStartNear(double start, double boundary, double lead, const std::string& what) {
    EXPECT_GE(start, boundary - lead - kTol) << what;
    EXPECT_LT(start, boundary - lead + kStartWindow) << what;
}

TEST(PacingSetUp, DerivesCountersPeriodAndDelay) {
    Pace({1.0, 2.0, 72, 0, 0, 0.0});
    EXPECT_EQ(g_nPulsesRequired, 1);
    EXPECT_EQ(g_nPacingDurationCounter, 20);
    EXPECT_EQ(g_nPacingPulseCount, 1000);
    // 60/72 in floating point, not 0 from whole numbers.
    EXPECT_DOUBLE_EQ(g_PacingFrequency, 60.0 / 72.0);
    EXPECT_DOUBLE_EQ(s_PacDelayTP, 0.01);
    EXPECT_FALSE(s_PacingHighRange);

    Pace({1.0, 2.0, 60, 1, 0, 0.0});
    EXPECT_EQ(g_nPulsesRequired, 2);
    Pace({1.0, 2.0, 60, 2, 0, 0.0});
    EXPECT_EQ(g_nPulsesRequired, 2);
}

TEST(PacingSetUp, AmplitudeZeroMeansNoPulsesAndNoDelay) {
    Pace({1.0});
    ASSERT_EQ(g_nPulsesRequired, 1);
    Pace({0.0});
    EXPECT_EQ(g_nPulsesRequired, 0);
    EXPECT_DOUBLE_EQ(s_PacDelayTP, 0.0);
    const auto samples = Drive(SamplesFor(2.0), [] { return 0.25; });
    for (const auto& s : samples) {
        ASSERT_EQ(s.value, 0.25);
        ASSERT_FALSE(s.high || s.shortSample || s.indication);
    }
}

TEST(PacingSetUp, DurationRoundsToTicksOfOneTenthMillisecond) {
    struct Row {
        double ms;
        int ticks;
    };
    for (const Row& r :
         std::vector<Row>{{0.1, 1}, {0.14, 1}, {0.16, 2}, {0.5, 5}, {2.0, 20}, {2.04, 20}, {3.0, 30}}) {
        Pace({1.0, r.ms});
        EXPECT_EQ(g_nPacingDurationCounter, r.ticks) << r.ms;
    }
}

TEST(PacingSetUp, RangeDecisionUsesThreeWhileSamplesUseTwoAndAHalf) {
    struct Row {
        double amplitude;
        bool highRange; // relays / level command
    };
    for (const Row& r : std::vector<Row>{{1.0, false},
                                         {2.49, false},
                                         {2.5, false},
                                         {2.99, false},
                                         {-2.99, false},
                                         {3.0, true},
                                         {-3.0, true},
                                         {700.0, true},
                                         {-700.0, true}}) {
        Pace({r.amplitude});
        EXPECT_EQ(s_PacingHighRange, r.highRange) << r.amplitude;
    }
    // 2.7: low range at the set-up, yet each pulse sample replaces the waveform in the high range.
    Pace({2.7});
    const auto pulses = Pulses(Drive(SamplesFor(1.0), [] { return 0.5; }), 0.5);
    ASSERT_EQ(pulses.size(), 1u);
    for (const auto& s : pulses[0].samples) {
        EXPECT_TRUE(s.high);
    }
    EXPECT_DOUBLE_EQ(pulses[0].samples.front().value, 2.7);
}

TEST(PacingPulses, TwoMillisecondsAtSixtyAddTenSamplesBeforeEachWholeSecond) {
    Pace({1.0, 2.0, 60});
    const double base = 0.3;
    const auto samples = Drive(SamplesFor(3.5), [&] { return base; });
    const auto pulses = Pulses(samples, base);
    ASSERT_EQ(pulses.size(), 3u);
    for (std::size_t k = 0; k < pulses.size(); ++k) {
        const auto& p = pulses[k];
        // The sample grid stays on 0.2 ms: the pulse starts exactly 20 ms before the second.
        EXPECT_NEAR(p.start, static_cast<double>(k + 1) - 0.02, kTol) << k;
        ASSERT_EQ(p.samples.size(), 10u) << k;
        EXPECT_TRUE(p.samples.front().indication);
        for (const auto& s : p.samples) {
            EXPECT_DOUBLE_EQ(s.value, base + 1.0);
            EXPECT_FALSE(s.high);
            EXPECT_FALSE(s.shortSample);
        }
    }
    std::size_t indications = 0;
    for (const auto& s : samples) {
        indications += s.indication ? 1 : 0;
    }
    EXPECT_EQ(indications, 3u);
}

TEST(PacingPulses, OddTickCountEndsWithOneShortSample) {
    struct Row {
        double ms;
        std::size_t full;
        std::size_t shortOnes;
    };
    for (const Row& r : std::vector<Row>{{0.5, 2, 1}, {0.1, 0, 1}, {0.2, 1, 0}, {2.9, 14, 1}, {3.0, 15, 0}}) {
        Pace({-1.5, r.ms, 60});
        const auto samples = Drive(SamplesFor(4.2));
        const auto pulses = Pulses(samples);
        ASSERT_EQ(pulses.size(), 4u) << r.ms;
        for (std::size_t k = 0; k < pulses.size(); ++k) {
            const auto& p = pulses[k];
            EXPECT_EQ(p.Full(), r.full) << r.ms << " pulse " << k;
            EXPECT_EQ(p.Short(), r.shortOnes) << r.ms << " pulse " << k;
            if (r.shortOnes != 0) {
                EXPECT_TRUE(p.samples.back().shortSample);
            }
            double length = 0.0;
            for (const auto& s : p.samples) {
                EXPECT_DOUBLE_EQ(s.value, -1.5);
                EXPECT_FALSE(s.high);
                length += s.Duration();
            }
            EXPECT_NEAR(length, r.ms / 1000.0, kTol) << r.ms;
            ExpectStartNear(p.start, static_cast<double>(k + 1), 0.02, std::to_string(r.ms));
        }
    }
}

TEST(PacingPulses, ShortSampleAdvancesTheOutputTimeByOneTick) {
    Pace({1.0, 0.5, 60});
    const auto samples = Drive(SamplesFor(1.1));
    for (std::size_t i = 0; i + 1 < samples.size(); ++i) {
        EXPECT_NEAR(samples[i + 1].time - samples[i].time, samples[i].Duration(), kTol) << i;
    }
    // After the pulse the grid is 0.1 ms off the whole 0.2 ms steps.
    EXPECT_NEAR(std::fmod(samples.back().time + 1e-12, 0.0002), 0.0001, 1e-9);
}

TEST(PacingPulses, LargeAmplitudeGoesOutInTheHighRangeAndEndsWithAShortZero) {
    for (double amplitude : {700.0, -700.0, 2.5, 100.0}) {
        Pace({amplitude, 2.0, 60});
        EXPECT_EQ(s_PacingHighRange, std::fabs(amplitude) >= 3.0) << amplitude;
        const double base = -0.4;
        const auto pulses = Pulses(Drive(SamplesFor(2.5), [&] { return base; }), base);
        ASSERT_EQ(pulses.size(), 2u) << amplitude;
        for (const auto& p : pulses) {
            ASSERT_EQ(p.samples.size(), 11u) << amplitude;
            for (std::size_t i = 0; i < 10; ++i) {
                EXPECT_DOUBLE_EQ(p.samples[i].value, amplitude) << amplitude;
                EXPECT_TRUE(p.samples[i].high);
                EXPECT_FALSE(p.samples[i].shortSample);
            }
            const Sample& zero = p.samples[10];
            EXPECT_EQ(zero.value, 0.0) << amplitude;
            EXPECT_TRUE(zero.high);
            EXPECT_TRUE(zero.shortSample);
        }
    }
}

TEST(PacingPulses, PairsLeadTheMainPulseBy150Or250Milliseconds) {
    struct Row {
        int pattern;
        double extraLead; // s before the boundary
    };
    for (const Row& r : std::vector<Row>{{1, 0.17}, {2, 0.27}}) {
        Pace({1.0, 2.0, 60, r.pattern});
        const auto pulses = Pulses(Drive(SamplesFor(3.5)));
        ASSERT_EQ(pulses.size(), 6u) << r.pattern;
        for (std::size_t k = 0; k < 3; ++k) {
            const double second = static_cast<double>(k + 1);
            EXPECT_NEAR(pulses[2 * k].start, second - r.extraLead, kTol) << r.pattern << " " << k;
            EXPECT_NEAR(pulses[2 * k + 1].start, second - 0.02, kTol) << r.pattern << " " << k;
            EXPECT_EQ(pulses[2 * k].samples.size(), 10u);
            EXPECT_EQ(pulses[2 * k + 1].samples.size(), 10u);
            EXPECT_TRUE(pulses[2 * k].samples.front().indication);
            EXPECT_TRUE(pulses[2 * k + 1].samples.front().indication);
        }
    }
    // A pattern number without a pair behaves as single pulses.
    Pace({1.0, 2.0, 60, 7});
    EXPECT_EQ(Pulses(Drive(SamplesFor(3.5))).size(), 3u);
}

TEST(PacingPulses, RatesOtherThanSixtyFollowTheirPeriod) {
    for (unsigned rate : {10u, 75u, 150u, 300u}) {
        Pace({1.0, 1.0, rate});
        const double period = 60.0 / rate;
        const auto pulses = Pulses(Drive(SamplesFor(std::min(3.0 * period + 0.05, 20.0))));
        ASSERT_GE(pulses.size(), 3u) << rate;
        for (std::size_t k = 0; k < pulses.size(); ++k) {
            EXPECT_NEAR(pulses[k].start, static_cast<double>(k + 1) * period - 0.02, 1e-6)
                << rate << " " << k;
        }
    }
}

// Overshoot after the pulse: amplitude, decay and the automatic quarter.
TEST(PacingOvershoot, AutomaticIsAQuarterOppositeLimitedToFive) {
    struct Row {
        double pulse;
        double setting;
        double expected;
    };
    for (const Row& r : std::vector<Row>{{2.0, 0.0, -0.5},
                                         {-2.0, 0.0, 0.5},
                                         {100.0, 0.0, -5.0},
                                         {-100.0, 0.0, 5.0},
                                         {2.0, 1.5, 1.5},
                                         {700.0, -2.0, -2.0}}) {
        Pace({r.pulse, 2.0, 60, 0, 10, r.setting});
        EXPECT_DOUBLE_EQ(g_fOvershootAmplitude, r.expected) << r.pulse << " " << r.setting;
        EXPECT_DOUBLE_EQ(g_OvershootTimeConstant, 0.01);
    }
}

TEST(PacingOvershoot, DecaysFromTheEndOfThePulse) {
    const double base = 0.1;
    Pace({2.0, 2.0, 60, 0, 10, 0.0});
    const auto samples = Drive(SamplesFor(1.1), [&] { return base; });
    std::size_t first = 0;
    while (first < samples.size() && !samples[first].indication) {
        ++first;
    }
    ASSERT_LT(first + 60, samples.size());
    for (std::size_t i = 0; i < 10; ++i) {
        EXPECT_DOUBLE_EQ(samples[first + i].value, base + 2.0);
    }
    // Ticks since the end of the pulse: 0, 2, 4, ... ; exp(-(ticks/10000)/0.01).
    for (std::size_t j = 0; j < 50; ++j) {
        const double ticks = 2.0 * static_cast<double>(j);
        EXPECT_NEAR(samples[first + 10 + j].value, base - 0.5 * std::exp(-(ticks / 10000.0) / 0.01), 1e-12)
            << j;
    }
    // Before the first pulse the count starts at 1000 ticks: a faint tail, no jump.
    EXPECT_NEAR(samples[0].value, base - 0.5 * std::exp(-((1000.0 - 20.0) / 10000.0) / 0.01), 1e-15);
}

TEST(PacingOvershoot, FollowsTheShortZeroOfAHighRangePulse) {
    Pace({100.0, 2.0, 60, 0, 5, 0.0});
    const auto samples = Drive(SamplesFor(1.1));
    std::size_t first = 0;
    while (first < samples.size() && !samples[first].indication) {
        ++first;
    }
    ASSERT_LT(first + 14, samples.size());
    EXPECT_EQ(samples[first + 10].value, 0.0);
    EXPECT_TRUE(samples[first + 10].shortSample && samples[first + 10].high);
    EXPECT_DOUBLE_EQ(samples[first + 11].value, -5.0);
    EXPECT_FALSE(samples[first + 11].high || samples[first + 11].shortSample);
    EXPECT_NEAR(samples[first + 12].value, -5.0 * std::exp(-(2.0 / 10000.0) / 0.005), 1e-12);
}

TEST(PacingOvershoot, TimeConstantZeroGivesNone) {
    const double base = -0.2;
    Pace({2.0, 2.0, 60, 0, 0, 3.0});
    const auto samples = Drive(SamplesFor(2.1), [&] { return base; });
    const auto pulses = Pulses(samples, base);
    ASSERT_EQ(pulses.size(), 2u);
    for (const auto& p : pulses) {
        EXPECT_EQ(p.samples.size(), 10u);
    }
}

TEST(PacingPulses, TriangularPulseIsDelayedTenMillisecondsWhilePacing) {
    // Function 5, amplitude 1, width 20 ms: -1 until the delay, the peak at delay + 10 ms.
    g_MainOutput = 5;
    g_Amplitude = 1.0;
    g_fPulseWidth = 0.02;
    g_Frequency = 1.0;
    g_fTimePeriod = 1.0;
    Pace({1.0});
    EXPECT_DOUBLE_EQ(s_PacDelayTP, 0.01);
    EXPECT_DOUBLE_EQ(_GetMainFunctionVoltage(0.005), -1.0);
    EXPECT_NEAR(_GetMainFunctionVoltage(0.02), 1.0, 1e-9);
    EXPECT_NEAR(_GetMainFunctionVoltage(0.03), -1.0, 1e-9);
    Pace({0.0});
    EXPECT_DOUBLE_EQ(s_PacDelayTP, 0.0);
    EXPECT_NEAR(_GetMainFunctionVoltage(0.005), 0.0, 1e-9);
    EXPECT_NEAR(_GetMainFunctionVoltage(0.01), 1.0, 1e-9);
}

TEST(PacingPulses, ChangeMidPulseRestartsThePeriodWithNoPulseInProgress) {
    Pace({1.0, 2.0, 60});
    auto samples = Drive(SamplesFor(0.981));
    ASSERT_EQ(samples.back().value, 1.0); // inside the first pulse
    Pace({1.0, 2.0, 60});
    samples = Drive(SamplesFor(0.97));
    for (const auto& s : samples) {
        ASSERT_EQ(s.value, 0.0) << s.time;
    }
}

TEST(PacingPulses, HighRangePulseCutByAChangeStillEndsWithTheShortZero) {
    Pace({700.0, 2.0, 60});
    auto samples = Drive(SamplesFor(0.981));
    ASSERT_TRUE(samples.back().high);
    Pace({700.0, 2.0, 60});
    samples = Drive(2);
    EXPECT_EQ(samples[0].value, 0.0);
    EXPECT_TRUE(samples[0].high && samples[0].shortSample);
    EXPECT_FALSE(samples[1].high || samples[1].shortSample);
}

TEST(PacingPulses, WithPacingOffValueAndFlagsPassUntouched) {
    Pace({0.0});
    for (int function : {14, 3}) {
        g_MainOutput = function;
        for (bool flag : {true, false}) {
            s_PacingHighRangeNeeded = flag;
            s_PacingShortPulseNeeded = flag;
            double value = -300.0;
            _GetPacingV4(value);
            EXPECT_EQ(value, -300.0);
            EXPECT_EQ(s_PacingHighRangeNeeded, flag);
            EXPECT_EQ(s_PacingShortPulseNeeded, flag);
        }
    }
}

TEST(PacingPulses, HighRangePulseCutBySwitchingPacingOffLeavesNoZeroForLater) {
    Pace({700.0, 2.0, 60});
    auto samples = Drive(SamplesFor(0.981));
    ASSERT_TRUE(samples.back().high);
    Pace({0.0});
    s_PacingHighRangeNeeded = false; // as the change leaves it
    samples = Drive(5, [] { return 0.7; });
    for (const auto& s : samples) {
        EXPECT_EQ(s.value, 0.7);
        EXPECT_FALSE(s.high || s.shortSample);
    }
    Pace({700.0, 2.0, 60});
    samples = Drive(3, [] { return 0.7; });
    EXPECT_EQ(samples[0].value, 0.7);
    EXPECT_FALSE(samples[0].high || samples[0].shortSample);
}

TEST(PacingPulses, ACountThatGrewForDaysNeverWrapsIntoAPulse) {
    Pace({1.0, 2.0, 60});
    g_nPacingPulseCount = INT_MAX - 1;
    // Half a second into the period: no boundary near.
    g_fOutputTime = 0.5;
    for (int i = 0; i < 10; ++i) {
        double value = 0.0;
        _GetPacingV4(value);
        ASSERT_EQ(value, 0.0) << i;
        ASSERT_GT(g_nPacingPulseCount, g_nPacingDurationCounter);
        g_fOutputTime = 0.5;
    }
}

TEST(PacingCheck, StartsAPulseOnTheFirstSampleAtABoundaryOnly) {
    Pace({1.0, 2.0, 60});
    struct Row {
        double outputTime;
        double offset;
        bool starts;
    };
    // Each row after a re-arm (a sample well inside the period with the pulse over).
    for (const Row& r : std::vector<Row>{{0.98, 0.02, true},
                                         {0.9798, 0.02, false},
                                         {0.9802, 0.02, true}, // 0.2 ms late: still within the window
                                         {0.98021, 0.02, false},
                                         {1.9999999, 0.0, true}, // just below a boundary: rounding slack
                                         {0.83, 0.17, true},
                                         {4.73, 0.27, true}}) {
        g_nPacingPulseCount = 1000;
        g_fOutputTime = 0.5;
        _CheckIfPacingPulseNeeded(0.0); // re-arm
        s_PacingIndicationNeeded = false;
        g_fOutputTime = r.outputTime;
        _CheckIfPacingPulseNeeded(r.offset);
        EXPECT_EQ(s_PacingIndicationNeeded, r.starts) << r.outputTime << " + " << r.offset;
        EXPECT_EQ(g_nPacingPulseCount == 0, r.starts) << r.outputTime;
    }
    // Triggered once: the next sample in the window does not restart the pulse.
    g_nPacingPulseCount = 1000;
    g_fOutputTime = 0.5;
    _CheckIfPacingPulseNeeded(0.0);
    g_fOutputTime = 0.98;
    _CheckIfPacingPulseNeeded(0.02);
    ASSERT_EQ(g_nPacingPulseCount, 0);
    g_nPacingPulseCount = 2;
    g_fOutputTime = 0.9802;
    _CheckIfPacingPulseNeeded(0.02);
    EXPECT_EQ(g_nPacingPulseCount, 2);
}

TEST(PacingLevel, CodesOfBothRangesLimitedToTwelveBits) {
    struct Row {
        double amplitude;
        int code;
    };
    for (const Row& r : std::vector<Row>{{1.0, 2858},   // 2048 + 1/2.5*2000*1.013 = 2858.4
                                         {-1.0, 1237},  // 1237.6, truncated toward zero
                                         {2.0, 3668},   // 3668.8
                                         {2.5, 4074},   // 4074.0
                                         {2.53, 4095},  // 4098.3 would leave the 12 bits
                                         {2.99, 4095},  // 4471
                                         {-2.52, 5},    // 5.8
                                         {-2.53, 0},    // -2.3
                                         {-2.6, 0},     // -59.5
                                         {-2.99, 0},    // -375
                                         {3.0, 2056},   // high range: 2048 + 3/700*2000 = 2056.57
                                         {-3.0, 2039},  // 2039.43
                                         {700.0, 4048}, //
                                         {-700.0, 48}}) {
        EXPECT_EQ(_PacingLevelCode(r.amplitude), r.code) << r.amplitude;
    }
}

} // namespace
