// `qolt --virtual --fast play ...` end to end: every output function by name, the settings that reach the
// instrument as commands, pacemaker pulses and their markers; every run's captures are checked.
#include "QoltRun.h"

#include <chrono>
#include <cmath>

namespace {

using clitest::CaptureRun;
using clitest::MaxOf;
using clitest::MinOf;

struct FunctionCase {
    const char* label;
    std::vector<std::string> args; // after "play"
    double min, max;               // extremes of the output; NaN: only "not flat"
    double tolerance;
};

void PrintTo(const FunctionCase& c, std::ostream* os) {
    *os << c.label;
}

const double kAny = std::nan("");

const FunctionCase kFunctions[] = {
    {"sine", {"sine", "--amplitude", "1000", "--frequency", "10"}, -2.5, 2.5, 0.01},
    {"triangle", {"triangle", "--amplitude", "1000", "--frequency", "10"}, -2.5, 2.5, 0.01},
    {"square", {"square", "--amplitude", "1000", "--frequency", "10"}, -2.5, 2.5, 0.003},
    {"pulse", {"pulse", "--amplitude", "1000", "--frequency", "2", "--pulse-width", "50"}, -2.5, 2.5, 0.003},
    {"triangular_pulse",
     {"triangular-pulse", "--amplitude", "1000", "--frequency", "2", "--pulse-width", "100"},
     -2.5,
     2.5,
     0.02},
    {"exponential", {"exponential", "--amplitude", "1000", "--frequency", "1"}, -2.5, 2.5, 0.01},
    // The complexes take half the amplitude setting without the gain: R crest 1.605 * 0.5, T trough -0.408 *
    // 0.5.
    {"ecg", {"ecg", "--amplitude", "1000", "--frequency", "1"}, -0.204, 0.8025, 0.01},
    {"ecg_single_r", {"ecg-single-r", "--amplitude", "1000", "--frequency", "1"}, -0.204, 0.8025, 0.01},
    {"ecg2_27", {"ecg2-27", "--qrs", "80", "--t-wave", "0.3"}, kAny, kAny, 0},
    {"iec227", {"iec227", "3"}, kAny, kAny, 0},
    // Stored waveform 5 of the one-second table spans +-5000, the full range.
    {"iec251", {"iec251", "5"}, -5.0, 5.0, 0.003},
    {"ane20000", {"ane20000", "0"}, -0.197, 0.831, 0.003},
    // The staircase's first 20 s: -300 on the step samples (high range), 0 between them.
    {"dynamic_range", {"dynamic-range"}, -300.0, 0.0, 0.001},
};

class PlayFunction : public clitest::QoltRunTest, public ::testing::WithParamInterface<FunctionCase> {};

TEST_P(PlayFunction, PlaysForTheDurationAndCapturesWhatWasPlayed) {
    const FunctionCase& c = GetParam();
    std::vector<std::string> args = {"--virtual", "--fast", "play"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    args.insert(args.end(), {"--duration", "2"});
    const CaptureRun run = RunWithCaptures(args);
    CheckCaptures(run);
    if (HasFatalFailure()) {
        return;
    }
    EXPECT_EQ(Query(run.result.out, "d['ended']"), "duration");
    EXPECT_EQ(Query(run.result.out, "d['output']"),
              c.args[0] + (c.args.size() > 1 && c.args[1][0] != '-' ? " " + c.args[1] : ""));
    EXPECT_EQ(Query(run.result.out, "abs(d['capture']['seconds'] - 2.0) < 1e-9"), "True") << run.result.out;
    EXPECT_EQ(Query(run.result.out, "d['samples_sent'] >= 10000"), "True") << run.result.out;
    if (std::isnan(c.min)) {
        EXPECT_GT(MaxOf(run.samples) - MinOf(run.samples), 0.05) << "the output is not flat";
    } else {
        EXPECT_NEAR(MinOf(run.samples), c.min, c.tolerance);
        EXPECT_NEAR(MaxOf(run.samples), c.max, c.tolerance);
    }
}

INSTANTIATE_TEST_SUITE_P(Functions, PlayFunction, ::testing::ValuesIn(kFunctions),
                         [](const ::testing::TestParamInfo<FunctionCase>& info) { return info.param.label; });

class Play : public clitest::QoltRunTest {
protected:
    // The events of a run whose text starts with `prefix`.
    static std::vector<std::pair<double, std::string>> Events(const CaptureRun& run,
                                                              const std::string& prefix) {
        std::vector<std::pair<double, std::string>> out;
        for (const auto& e : run.events) {
            if (e.second.rfind(prefix, 0) == 0) {
                out.push_back(e);
            }
        }
        return out;
    }
};

TEST_F(Play, PacemakerPulsesAreMarkedWhereTheyArePlayed) {
    const CaptureRun run =
        RunWithCaptures({"--virtual", "--fast", "play", "ecg", "--amplitude", "1000", "--frequency", "1",
                         "--pacing-amplitude", "2", "--duration", "3"});
    CheckCaptures(run);
    if (HasFatalFailure()) {
        return;
    }
    // A pulse starts 20 ms before each second of output time.
    const auto markers = Events(run, "pacing pulse");
    ASSERT_EQ(markers.size(), 3u);
    EXPECT_EQ(Query(run.result.out, "d['capture']['pacing_markers']"), "3");
    for (size_t i = 0; i < markers.size(); ++i) {
        EXPECT_NEAR(markers[i].first, 0.98 + static_cast<double>(i), 1e-9);
    }
    // There the complex is back at 0: the ten samples of a 2 ms pulse carry 2.0, the one before 0.
    for (const auto& m : markers) {
        const size_t at = static_cast<size_t>(std::llround(m.first / 0.0002));
        ASSERT_LT(at + 10, run.samples.size());
        EXPECT_NEAR(run.samples[at - 1], 0.0, 0.003);
        for (size_t k = 0; k < 10; ++k) {
            EXPECT_NEAR(run.samples[at + k], 2.0, 0.003) << m.first << " + " << k;
        }
        EXPECT_LT(run.samples[at + 10], 1.0) << "the pulse lasts 2 ms";
    }
}

TEST_F(Play, PulsePairsAndShortAndHighRangePulses) {
    struct Case {
        std::vector<std::string> pacing;
        std::vector<double> firstSecond; // marker times within [0, 1)
        bool shortSamples, highRange;
    };
    const Case cases[] = {
        {{"--pacing-amplitude", "1", "--pacing-pattern", "pair-150"}, {0.83, 0.98}, false, false},
        {{"--pacing-amplitude", "1", "--pacing-duration", "0.5"}, {0.98}, true, false},
        {{"--pacing-amplitude", "700"}, {0.98}, true, true}, // ends with a 0.1 ms zero in the high range
    };
    int n = 0;
    for (const Case& c : cases) {
        std::vector<std::string> args = {"--virtual", "--fast",      "play", "sine",       "--amplitude",
                                         "200",       "--frequency", "5",    "--duration", "1"};
        args.insert(args.end(), c.pacing.begin(), c.pacing.end());
        const CaptureRun run = RunWithCaptures(args, "pacing" + std::to_string(n++));
        CheckCaptures(run);
        if (HasFatalFailure()) {
            return;
        }
        std::vector<double> times;
        for (const auto& m : Events(run, "pacing pulse")) {
            times.push_back(m.first);
        }
        ASSERT_EQ(times.size(), c.firstSecond.size()) << run.result.out;
        for (size_t i = 0; i < times.size(); ++i) {
            EXPECT_NEAR(times[i], c.firstSecond[i], 1e-9);
        }
        bool anyShort = false, anyHigh = false;
        for (const auto& r : run.rows) {
            anyShort = anyShort || (r.isSample && r.shortSample == 1);
            anyHigh = anyHigh || (r.isSample && r.highRange == 1);
        }
        EXPECT_EQ(anyShort, c.shortSamples);
        EXPECT_EQ(anyHigh, c.highRange);
        if (c.highRange) {
            EXPECT_NEAR(MaxOf(run.samples), 700.0, 0.001);
        }
    }
}

TEST_F(Play, LeadsImpedanceAndDcOffsetReachTheInstrument) {
    const CaptureRun run =
        RunWithCaptures({"--virtual", "--fast", "play", "square", "--duration", "0.6", "--leads", "0,3",
                         "--impedance-mode", "off", "--dc-variable", "--dc-offset", "500"});
    CheckCaptures(run);
    if (HasFatalFailure()) {
        return;
    }
    EXPECT_FALSE(Events(run, "relays 0x004022").empty()) << "leads 0 and 3, impedance off";
    EXPECT_FALSE(Events(run, "variable-dc-offset 3048").empty());
}

TEST_F(Play, DynamicRangeAndBaselineResetTests) {
    const CaptureRun dynamic = RunWithCaptures(
        {"--virtual", "--fast", "play", "triangle", "--amplitude", "1000", "--duration", "2",
         "--dynamic-range-test", "--dynamic-range-amplitude", "1", "--dynamic-range-frequency", "33"},
        "dynamic");
    CheckCaptures(dynamic);
    if (HasFatalFailure()) {
        return;
    }
    // From the second packet on (the test needs the triangle selected), a 33 Hz sine of 0.5 rides on it.
    EXPECT_GT(MaxOf(dynamic.samples), 2.9);

    const CaptureRun baseline = RunWithCaptures(
        {"--virtual", "--fast", "play", "sine", "--duration", "0.6", "--baseline-reset", "50"}, "baseline");
    CheckCaptures(baseline);
    if (HasFatalFailure()) {
        return;
    }
    EXPECT_FALSE(Events(baseline, "baseline-reset-on").empty());
    // The test starts at the start of a packet (which one depends on how the tool's calls and the
    // instrument's requests interleave): from there on every sample word carries the flag.
    size_t n = 0;
    size_t first = 0;
    for (const auto& r : baseline.rows) {
        if (!r.isSample) {
            continue;
        }
        ++n;
        if (first == 0 && r.highRange == 1) {
            first = n;
        } else if (first != 0) {
            ASSERT_EQ(r.highRange, 1) << "sample " << n;
        }
    }
    ASSERT_NE(first, 0u) << "no sample carries the flag";
    EXPECT_EQ((first - 1) % 1500, 0u) << "the flag began within a packet, at sample " << first;
}

// The staircase steps once every 0.5 s of its cycle: the tool plays it at a frequency whose cycle is a whole
// number of half seconds (1 Hz unless told), so the documented staircase comes out: -300 on every step until
// 20 s, then from -300 up by 0.5 a step, in the high range, every 0.5 s.
TEST_F(Play, DynamicRangePlaysItsStaircase) {
    for (const char* frequency : {"", "2", "0.5"}) {
        SCOPED_TRACE(std::string("--frequency ") + frequency);
        std::vector<std::string> args = {"--virtual",     "--fast",     "play",
                                         "dynamic-range", "--duration", "22.2"};
        if (*frequency != '\0') {
            args.insert(args.end(), {"--frequency", frequency});
        }
        const CaptureRun run = RunWithCaptures(args, std::string("staircase") + frequency);
        CheckCaptures(run);
        if (HasFatalFailure()) {
            return;
        }
        std::vector<std::pair<double, double>> steps; // time, value
        for (const auto& r : run.rows) {
            if (r.isSample && r.highRange == 1) {
                steps.emplace_back(r.time, r.value);
            }
        }
        ASSERT_EQ(steps.size(), 45u) << "a step every 0.5 s from 0 to 22 s";
        for (size_t i = 0; i < steps.size(); ++i) {
            EXPECT_NEAR(steps[i].first, 0.5 * static_cast<double>(i), 0.0003) << "step " << i;
            const double want = i < 40 ? -300.0 : -300.0 + 0.5 * static_cast<double>(i - 40);
            EXPECT_EQ(steps[i].second, want) << "step " << i;
        }
    }
}

// In real time the virtual instrument holds up to two packets it has not played yet: --duration counts what
// it played, so the run lasts the asked duration of played output.
TEST_F(Play, RealTimeDurationCountsPlayedOutput) {
    const auto start = std::chrono::steady_clock::now();
    const clitest::RunResult r = clitest::Qolt({"--virtual", "play", "sine", "--duration", "1.5", "--json"});
    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    ASSERT_EQ(r.exitCode, 0) << clitest::Describe(r);
    EXPECT_EQ(Query(r.out, "d['ended']"), "duration");
    EXPECT_EQ(Query(r.out, "d['seconds'] == 1.5"), "True") << r.out;
    EXPECT_EQ(Query(r.out, "d['played_seconds'] >= 1.5"), "True") << r.out;
    EXPECT_EQ(Query(r.out, "0 <= d['received_seconds'] - d['played_seconds'] <= 0.6 + 1e-9"), "True")
        << r.out;
    // Played output takes its own time: a run cannot be shorter than what it played.
    EXPECT_GE(wall, 1.5);
}

TEST_F(Play, Ecg2_27WithNoiseAndDrift) {
    const CaptureRun run = RunWithCaptures({"--virtual", "--fast", "play", "ecg2-27", "--noise", "60",
                                            "--noise-amplitude", "0.2", "--drift", "--duration", "4"});
    CheckCaptures(run);
    if (HasFatalFailure()) {
        return;
    }
    // The drift alone climbs 0.8 per second.
    EXPECT_GT(MaxOf(run.samples), 1.9);
}

} // namespace
