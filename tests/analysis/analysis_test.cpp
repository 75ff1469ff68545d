// The analysis library on synthetic recordings whose answers are known exactly: the sine fit, the marker
// search under gain, offset, polarity, noise and sub-sample starts, the library's cycle-boundary rule,
// whole analyses with limits, the CSV reader, the table and the plot.
#include "analysis/CsvRecording.h"
#include "analysis/MarkerSearch.h"
#include "analysis/ReportText.h"
#include "analysis/Response.h"
#include "analysis/ResponsePlot.h"
#include "analysis/SineFit.h"
#include "analysis/StepTiming.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <string>
#include <vector>

namespace {

using namespace qoltanalysis;

constexpr double kPi = 3.14159265358979323846;

// ---- Sine fit ---------------------------------------------------------------------------------------

struct FitCase {
    const char* name;
    double rate, frequency, amplitude, phase, offset, drift, firstTime;
    size_t count;
};

void PrintTo(const FitCase& c, std::ostream* os) {
    *os << c.name;
}

class Fit : public ::testing::TestWithParam<FitCase> {};

TEST_P(Fit, RecoversAmplitudePhaseOffsetAndDrift) {
    const FitCase& c = GetParam();
    std::vector<double> x(c.count);
    const double middle = 0.5 * static_cast<double>(c.count - 1) / c.rate;
    for (size_t i = 0; i < c.count; ++i) {
        const double t = static_cast<double>(i) / c.rate;
        x[i] = c.offset + c.drift * (t - middle) +
               c.amplitude * std::sin(2 * kPi * c.frequency * (c.firstTime + t) + c.phase);
    }
    const SineFit f = FitSine(x.data(), x.size(), c.rate, c.firstTime, c.frequency);
    ASSERT_TRUE(f.ok);
    EXPECT_NEAR(f.amplitude, std::fabs(c.amplitude), 1e-9 * std::fabs(c.amplitude) + 1e-12);
    const double want = c.amplitude < 0 ? c.phase + kPi : c.phase;
    EXPECT_NEAR(std::remainder(f.phase - want, 2 * kPi), 0.0, 1e-8);
    EXPECT_NEAR(f.offset, c.offset, 1e-8);
    EXPECT_NEAR(f.drift, c.drift, 1e-8);
    EXPECT_LT(f.residualRms, 1e-9);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Fit,
    ::testing::Values(FitCase{"whole_cycles", 500, 10, 2.5, 0.3, 0, 0, 0, 500},
                      FitCase{"partial_cycles_with_offset", 500, 0.67, 1.0, -2.0, 123.4, 0, 0, 7000},
                      FitCase{"drift_of_a_settling_high_pass", 5000, 40, 0.01, 1.0, -7, 0.5, 12.3, 1250},
                      FitCase{"window_late_in_a_long_recording", 256, 5, 80, 2.9, 3, -0.02, 3599.7, 2560},
                      FitCase{"inverted", 1000, 2, -3, 0.5, 0, 0, 0, 3000},
                      FitCase{"just_below_nyquist", 100, 45, 1, 0.7, 0, 0, 0.013, 400}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Fit, RefusesWhatCannotBeFitted) {
    const std::vector<double> x(1000, 1.0);
    EXPECT_FALSE(FitSine(x.data(), 7, 500, 0, 10).ok) << "fewer than 8 samples";
    EXPECT_FALSE(FitSine(x.data(), x.size(), 500, 0, 250).ok) << "at half the rate";
    EXPECT_FALSE(FitSine(x.data(), x.size(), 500, 0, 0).ok);
    EXPECT_FALSE(FitSine(nullptr, 100, 500, 0, 10).ok);
    // Far less than a cycle: the sine cannot be told from offset and drift.
    EXPECT_FALSE(FitSine(x.data(), 20, 5000, 0, 0.01).ok);
}

TEST(Stats, MeanAndPeakToValley) {
    const std::vector<double> x = {1, -2, 3, 0.5};
    const WindowStats s = Stats(x.data(), x.size());
    EXPECT_DOUBLE_EQ(s.mean, 0.625);
    EXPECT_DOUBLE_EQ(s.PeakToValley(), 5.0);
}

// ---- Marker search ----------------------------------------------------------------------------------

// A recording at `rate` of: `before` seconds of quiet, the burst (+1 first), then a sine; times `gain`,
// plus `offset` and Gaussian noise.
std::vector<double> Recording(double rate, double before, const SquareBurst& b, double gain, double offset,
                              double noise, double after = 5.0, unsigned seed = 7) {
    std::mt19937 rng(seed);
    std::normal_distribution<double> n(0.0, noise);
    const double burst = b.cycles / b.frequency;
    const size_t count = static_cast<size_t>((before + burst + after) * rate);
    std::vector<double> x(count);
    for (size_t i = 0; i < count; ++i) {
        const double t = static_cast<double>(i) / rate - before;
        double v = 0.0;
        if (t >= 0 && t < burst) {
            v = std::fmod(t * b.frequency, 1.0) < 0.5 ? 1.0 : -1.0;
        } else if (t >= burst) {
            v = 0.8 * std::sin(2 * kPi * 0.67 * (t - burst));
        }
        x[i] = gain * v + offset + (noise > 0 ? n(rng) : 0.0);
    }
    return x;
}

struct MarkerCase {
    const char* name;
    double rate, before, gain, offset, noise;
};

void PrintTo(const MarkerCase& c, std::ostream* os) {
    *os << c.name;
}

class Marker : public ::testing::TestWithParam<MarkerCase> {};

TEST_P(Marker, FoundWhereItStarts) {
    const MarkerCase& c = GetParam();
    const SquareBurst burst{4.0, 8, {}};
    const std::vector<double> x = Recording(c.rate, c.before, burst, c.gain, c.offset, c.noise);
    const MarkerMatch m = FindSquareBurst(x, c.rate, burst);
    ASSERT_TRUE(m.found) << m.problem;
    // The burst starts between samples: within one sample of its true start.
    EXPECT_NEAR(m.time, c.before, 1.0 / c.rate);
    EXPECT_EQ(m.correlation < 0, c.gain < 0);
    EXPECT_GT(std::fabs(m.correlation), 0.9);
}

INSTANTIATE_TEST_SUITE_P(Cases, Marker,
                         ::testing::Values(MarkerCase{"at_the_first_sample", 5000, 0.0, 1, 0, 0},
                                           MarkerCase{"late_between_samples", 500, 3.7031, 37.5, -120, 0},
                                           MarkerCase{"noisy", 500, 12.25, 2, 5, 0.5},
                                           MarkerCase{"inverting_device", 256, 1.1, -0.01, 0.3, 0.001},
                                           MarkerCase{"slow_rate", 40, 2.0, 1, 0, 0}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(Marker, EarliestOfTwoBurstsIsTheMarker) {
    const SquareBurst burst{4.0, 8, {}};
    std::vector<double> x = Recording(500, 2.0, burst, 1, 0, 0);
    // A later step plays the same square for longer: it matches as well, but the plan opens with the marker.
    const std::vector<double> later = Recording(500, 0.0, SquareBurst{4.0, 20, {}}, 1, 0, 0, 1.0);
    x.insert(x.end(), later.begin(), later.end());
    const MarkerMatch m = FindSquareBurst(x, 500, burst);
    ASSERT_TRUE(m.found) << m.problem;
    EXPECT_NEAR(m.time, 2.0, 0.002);
}

TEST(Marker, EdgesAsTheSourceMadeThem) {
    // The library's square wave runs a sample long now and then; matched with its own edges, the start is
    // exact at the instrument's rate.
    const double period = 0.25;
    const std::vector<int64_t> edges = SquareEdges(period, 8);
    std::vector<double> x(20000, 0.0);
    const size_t start = 1234;
    for (size_t j = 0; j + 1 < edges.size(); ++j) {
        for (int64_t k = edges[j]; k < edges[j + 1]; ++k) {
            x[start + static_cast<size_t>(k)] = j % 2 == 0 ? 2.5 : -2.5;
        }
    }
    SquareBurst burst{4.0, 8, {}};
    for (int64_t e : edges) {
        burst.edges.push_back(static_cast<double>(e) * kOutputSampleSeconds);
    }
    const MarkerMatch m = FindSquareBurst(x, 5000, burst);
    ASSERT_TRUE(m.found) << m.problem;
    EXPECT_NEAR(m.time, static_cast<double>(start) / 5000.0, 1e-9);
}

struct Missing {
    const char* name;
    std::vector<double> samples;
    double rate;
    const char* problem; // part of the message
};

void PrintTo(const Missing& c, std::ostream* os) {
    *os << c.name;
}

class NoMarker : public ::testing::TestWithParam<Missing> {};

TEST_P(NoMarker, SaysWhy) {
    const Missing& c = GetParam();
    const MarkerMatch m = FindSquareBurst(c.samples, c.rate, SquareBurst{4.0, 8, {}});
    EXPECT_FALSE(m.found);
    EXPECT_NE(m.problem.find(c.problem), std::string::npos) << m.problem;
}

std::vector<double> SineOnly() {
    std::vector<double> x(5000);
    for (size_t i = 0; i < x.size(); ++i) {
        x[i] = std::sin(2 * kPi * 10 * static_cast<double>(i) / 500);
    }
    return x;
}

INSTANTIATE_TEST_SUITE_P(Cases, NoMarker,
                         ::testing::Values(Missing{"sine_only", SineOnly(), 500, "no marker"},
                                           Missing{"constant", std::vector<double>(5000, 3.0), 500,
                                                   "constant"},
                                           Missing{"shorter_than_the_burst", std::vector<double>(900, 0.0),
                                                   500, "shorter than the marker"},
                                           Missing{"rate_too_low", SineOnly(), 12, "cannot resolve"}),
                         [](const auto& info) { return std::string(info.param.name); });

// ---- The library's cycle boundaries -----------------------------------------------------------------

TEST(Timing, SquareEdgesRunASampleLongNowAndThen) {
    // As the virtual instrument decodes a 4 Hz square from the library: 625 samples a half, but the third
    // half is 626 long (the summed output time falls short of the exact multiple).
    const std::vector<int64_t> want = {0, 625, 1250, 1876, 2501, 3126, 3751};
    EXPECT_EQ(SquareEdges(0.25, 3), want);
    EXPECT_TRUE(SquareEdges(0.0, 3).empty());
    EXPECT_TRUE(SquareEdges(0.25, 0).empty());
}

struct StartCase {
    const char* name;
    int64_t running, requested;
    double period, frequency;
    int64_t start;
};

void PrintTo(const StartCase& c, std::ostream* os) {
    *os << c.name;
}

class Timing : public ::testing::TestWithParam<StartCase> {};

TEST_P(Timing, WaveformStartsAtTheEndOfTheRunningCycle) {
    const StartCase& c = GetParam();
    EXPECT_EQ(WaveformStart(c.running, c.requested, c.period, c.frequency), c.start);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Timing,
    // The sample whose phase is within 0.4 ms of the period is the old waveform's last.
    ::testing::Values(StartCase{"first_cycle_end", 0, 1000, 0.25, 4, 1249},
                      StartCase{"a_later_cycle", 0, 2000, 0.25, 4, 2500},
                      StartCase{"requested_in_the_last_two_samples", 0, 1249, 0.25, 4, 1250},
                      StartCase{"counted_from_the_running_start", 10500, 11000, 0.25, 4, 11749},
                      StartCase{"below_0_15_hz_at_once", 0, 3000, 10.0, 0.1, 3001},
                      StartCase{"no_period_at_once", 0, 3000, 0.0, 4, 3000},
                      StartCase{"request_before_the_start", 5000, 3000, 0.25, 4, 3000}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- Whole analyses ---------------------------------------------------------------------------------

// A device that records at 500 samples/s, starting `lead` seconds before the output, with a gain of 40 and
// an offset of 7: the marker, then sines whose amplitudes are `gains` times the source.
struct Device {
    double rate = 500, lead = 2.35;
    PlanSpec plan;
    Signal signal;

    Device(const std::vector<double>& frequencies, const std::vector<double>& gains,
           double stepSeconds = 6.0) {
        plan.marker = {4.0, 8, {}};
        StepSpec marker;
        marker.label = "marker";
        marker.windowStart = 0.0;
        marker.windowEnd = 2.0;
        plan.steps.push_back(marker);
        double t = 2.0;
        for (size_t i = 0; i < frequencies.size(); ++i) {
            StepSpec s;
            s.label = std::to_string(frequencies[i]) + " Hz";
            s.sine = true;
            s.frequency = frequencies[i];
            s.sourceAmplitude = 1000;
            s.waveformStart = t;
            s.windowStart = t + 1.0;
            s.windowEnd = t + stepSeconds;
            plan.steps.push_back(s);
            t += stepSeconds;
        }
        const size_t count = static_cast<size_t>((lead + t + 1.0) * rate);
        signal.rate = rate;
        signal.samples.resize(count);
        for (size_t k = 0; k < count; ++k) {
            const double u = static_cast<double>(k) / rate - lead;
            double v = 0.0;
            if (u >= 0 && u < 2.0) {
                v = std::fmod(u * 4.0, 1.0) < 0.5 ? 2.5 : -2.5;
            }
            for (size_t i = 1; i < plan.steps.size(); ++i) {
                const StepSpec& s = plan.steps[i];
                if (u >= s.waveformStart && u < s.waveformStart + stepSeconds) {
                    v = 2.5 * gains[i - 1] *
                        std::sin(2 * kPi * s.frequency * (u - s.waveformStart) + 0.1 * (double)i);
                }
            }
            signal.samples[k] = 40.0 * v + 7.0;
        }
    }
};

TEST(Analysis, ResponsesRelativeToTheReferenceAndTheirVerdicts) {
    Device d({1, 10, 40}, {0.9, 1.0, 0.5});
    d.plan.reference = 2;
    d.plan.steps[1].limits.push_back({Figure::ResponseDb, -3.0, 0.5});        // 0.9: -0.92 dB, pass
    d.plan.steps[3].limits.push_back({Figure::ResponsePercent, 70.0, 140.0}); // 50 %: fail
    d.plan.steps[0].limits.push_back({Figure::Mean, 6.0, 8.0});               // marker: mean 7, pass
    Report r;
    std::string error;
    ASSERT_TRUE(Analyze(d.signal, d.plan, r, error)) << error;
    EXPECT_NEAR(r.marker.time, d.lead, 0.5 / d.rate);
    ASSERT_EQ(r.steps.size(), 4u);
    EXPECT_NEAR(*r.steps[1].db, 20 * std::log10(0.9), 1e-3);
    EXPECT_NEAR(*r.steps[2].db, 0.0, 1e-9);
    EXPECT_NEAR(*r.steps[3].percent, 50.0, 0.05);
    EXPECT_NEAR(*r.steps[1].amplitude, 40 * 2.5 * 0.9, 0.05);
    // The sine began at its waveform start with phase 0.1 i: the marker places it to within a sample.
    EXPECT_NEAR(*r.steps[1].phaseDeg, 0.1 * 180 / kPi, 360 * 1.0 * 0.5 / d.rate + 0.01);
    // Over whole cycles the mean is the offset (the marker, found within half a sample, may put the last
    // sample in the next step); the marker's half cycles are 62 or 63 samples long here.
    EXPECT_NEAR(r.steps[2].mean, 7.0, 0.01);
    EXPECT_NEAR(r.steps[0].mean, 7.0, 0.5);
    EXPECT_NEAR(r.steps[0].peakToValley, 200.0, 1e-6);
    EXPECT_EQ(r.steps[0].verdict, Verdict::Pass);
    EXPECT_EQ(r.steps[1].verdict, Verdict::Pass);
    EXPECT_EQ(r.steps[2].verdict, Verdict::NotJudged);
    EXPECT_EQ(r.steps[3].verdict, Verdict::Fail);
    EXPECT_FALSE(r.passed);
    // Sine windows are cut to whole cycles.
    EXPECT_NEAR((r.steps[3].windowEnd - r.steps[3].windowStart) * 40.0, 200.0, 1e-6);
}

TEST(Analysis, ResponsesArePerUnitOfTheSourceAmplitude) {
    Device d({1, 10}, {0.5, 1.0});
    d.plan.reference = 2;
    d.plan.steps[1].sourceAmplitude = 500; // played at half the amplitude: the same response
    Report r;
    std::string error;
    ASSERT_TRUE(Analyze(d.signal, d.plan, r, error)) << error;
    EXPECT_NEAR(*r.steps[1].ratio, 1.0, 1e-3);
    EXPECT_NEAR(*r.steps[1].amplitude, 50.0, 5e-3);
}

struct LimitCase {
    const char* name;
    Limit limit;
    Verdict verdict;
};

void PrintTo(const LimitCase& c, std::ostream* os) {
    *os << c.name;
}

class Limits : public ::testing::TestWithParam<LimitCase> {};

TEST_P(Limits, Verdict) {
    Device d({2, 10}, {0.5, 1.0}); // step 1: exactly -6.0206 dB, 50 %
    d.plan.reference = 2;
    d.plan.steps[1].limits.push_back(GetParam().limit);
    Report r;
    std::string error;
    ASSERT_TRUE(Analyze(d.signal, d.plan, r, error)) << error;
    EXPECT_EQ(r.steps[1].verdict, GetParam().verdict);
    EXPECT_EQ(r.passed, GetParam().verdict == Verdict::Pass);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Limits,
    ::testing::Values(LimitCase{"db_within", {Figure::ResponseDb, -6.1, -5.9}, Verdict::Pass},
                      LimitCase{"db_below_min", {Figure::ResponseDb, -3.0, std::nullopt}, Verdict::Fail},
                      LimitCase{"db_above_max", {Figure::ResponseDb, std::nullopt, -6.5}, Verdict::Fail},
                      LimitCase{"ratio_within", {Figure::ResponseRatio, 0.49, 0.51}, Verdict::Pass},
                      LimitCase{"percent_too_low", {Figure::ResponsePercent, 70.0, 140.0}, Verdict::Fail},
                      LimitCase{
                          "amplitude_in_recording_units", {Figure::Amplitude, 49.0, 51.0}, Verdict::Pass},
                      LimitCase{"mean_offset", {Figure::Mean, 7.5, std::nullopt}, Verdict::Fail},
                      LimitCase{"peak_to_valley", {Figure::PeakToValley, 99.0, 101.0}, Verdict::Pass}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Analysis, ClearErrors) {
    std::string error;
    Report r;
    Device shortened({1, 10}, {1, 1});
    shortened.plan.reference = 2;
    shortened.signal.samples.resize(shortened.signal.samples.size() - 1500); // the last 3 s
    EXPECT_FALSE(Analyze(shortened.signal, shortened.plan, r, error));
    EXPECT_NE(error.find("too short"), std::string::npos) << error;
    EXPECT_NE(error.find("step 3 (\"10.000000 Hz\")"), std::string::npos) << error;

    Device quiet({1, 10}, {1, 1});
    for (size_t k = 0; k < static_cast<size_t>(4.35 * 500); ++k) {
        quiet.signal.samples[k] = 7.0; // no marker: only the sines
    }
    EXPECT_FALSE(Analyze(quiet.signal, quiet.plan, r, error));
    EXPECT_NE(error.find("no marker"), std::string::npos) << error;

    Device slow({1, 300}, {1, 1});
    EXPECT_FALSE(Analyze(slow.signal, slow.plan, r, error));
    EXPECT_NE(error.find("cannot be measured at 500"), std::string::npos) << error;
}

TEST(Analysis, StepsNotPlayedAreNotPassed) {
    Device d({1, 10}, {1, 1});
    d.plan.reference = 2;
    d.plan.steps[1].played = false;
    Report r;
    std::string error;
    ASSERT_TRUE(Analyze(d.signal, d.plan, r, error)) << error;
    EXPECT_EQ(r.steps[1].verdict, Verdict::NotPlayed);
    EXPECT_TRUE(r.passed) << "no limits, nothing to fail";
    d.plan.steps[1].limits.push_back({Figure::ResponseDb, -3.0, 3.0});
    ASSERT_TRUE(Analyze(d.signal, d.plan, r, error)) << error;
    EXPECT_FALSE(r.passed) << "limits never checked are no pass";
}

// ---- Table and plot ---------------------------------------------------------------------------------

TEST(Output, TableAndPlot) {
    Device d({1, 10, 40}, {1.0, 1.0, 0.5});
    d.plan.reference = 2;
    d.plan.steps[1].limits.push_back({Figure::ResponseDb, -3.0, 0.5});
    d.plan.steps[3].limits.push_back({Figure::ResponseDb, -3.0, 0.5});
    d.signal.label = "EEG Fz";
    d.signal.unit = "uV";
    Report r;
    std::string error;
    ASSERT_TRUE(Analyze(d.signal, d.plan, r, error)) << error;
    const std::string table = FormatTable(d.signal, r);
    EXPECT_NE(table.find("signal \"EEG Fz\" (uV)"), std::string::npos) << table;
    EXPECT_NE(table.find("response relative to step 3"), std::string::npos) << table;
    EXPECT_NE(table.find("-6.021"), std::string::npos) << table;
    EXPECT_NE(table.find("FAIL: 1 of 2 judged steps outside their limits"), std::string::npos) << table;
    EXPECT_EQ(LimitText({Figure::ResponseDb, -3.0, 0.5}), "dB -3..0.5");
    EXPECT_EQ(LimitText({Figure::Mean, std::nullopt, 10.0}), "mean <= 10");

    const std::string svg = RenderResponsePlot(r, ResponsePlotOptions{"t <&> \"x\"", 760, 440});
    EXPECT_EQ(svg.rfind("<?xml", 0), 0u);
    EXPECT_NE(svg.find("t &lt;&amp;&gt; &quot;x&quot;"), std::string::npos);
    EXPECT_NE(svg.find("id=\"response\""), std::string::npos);
    EXPECT_NE(svg.find("id=\"limit-low\""), std::string::npos);
    EXPECT_NE(svg.find("id=\"limit-high\""), std::string::npos);
    size_t red = 0, green = 0;
    for (size_t at = svg.find("<g id=\"points\""); (at = svg.find("<circle", at + 1)) != std::string::npos;) {
        const std::string fill = svg.substr(svg.find("fill=", at), 14);
        red += fill == "fill=\"#d62728\"" ? 1 : 0;
        green += fill == "fill=\"#2a9d2a\"" ? 1 : 0;
    }
    // The legend holds one of each as well.
    EXPECT_EQ(red, 2u);
    EXPECT_EQ(green, 2u);
}

// ---- CSV --------------------------------------------------------------------------------------------

TEST(Csv, TimeColumnSignalsAndSkippedRows) {
    const std::string text = "Time (ms),EEG Fz,\"ECG, lead II\",event\n"
                             "0,1.5,10,\n"
                             "2,2.5,11,\n"
                             ",,,\"a note\"\n"
                             "4,-1e-1,12,\n"
                             "6.001,+4,13,\n";
    Signal s;
    std::string error;
    ASSERT_TRUE(ParseCsvSignal(text, SignalChoice{std::nullopt, std::string("EEG Fz")}, s, error)) << error;
    EXPECT_EQ(s.samples, (std::vector<double>{1.5, 2.5, -0.1, 4}));
    EXPECT_NEAR(s.rate, 500.0, 0.2);
    ASSERT_TRUE(ParseCsvSignal(text, SignalChoice{1, std::nullopt}, s, error)) << error;
    EXPECT_EQ(s.label, "ECG, lead II");
    EXPECT_EQ(s.samples, (std::vector<double>{10, 11, 12, 13}));
    EXPECT_FALSE(ParseCsvSignal(text, SignalChoice{2, std::nullopt}, s, error)) << "event holds no numbers";
}

struct BadCsv {
    const char* name;
    std::string text;
    SignalChoice choice;
    const char* error;
};

void PrintTo(const BadCsv& c, std::ostream* os) {
    *os << c.name;
}

class Csv : public ::testing::TestWithParam<BadCsv> {};

TEST_P(Csv, Refused) {
    Signal s;
    std::string error;
    EXPECT_FALSE(ParseCsvSignal(GetParam().text, GetParam().choice, s, error));
    EXPECT_NE(error.find(GetParam().error), std::string::npos) << error;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Csv,
    ::testing::Values(
        BadCsv{"empty", "", {}, "empty"}, BadCsv{"no_time_column", "a,b\n1,2\n", {}, "no time column"},
        BadCsv{"unknown_label",
               "time_s,x,y\n0,1,2\n",
               {std::nullopt, std::string("z")},
               "no column \"z\" (the signal columns are x, y)"},
        BadCsv{"index_out_of_range", "time_s,x\n0,1\n", {3, std::nullopt}, "no signal column 3"},
        BadCsv{"not_a_number", "time_s,x\n0,1\n0.1,one\n", {}, "row 3: \"one\" is not a number"},
        BadCsv{
            "short_row", "time_s,x,y\n0,1,2\n0.1\n", {std::nullopt, std::string("y")}, "row 3 has 1 fields"},
        BadCsv{"a_gap", "time_s,x\n0,1\n0.1,1\n0.2,1\n0.5,1\n0.6,1\n", {}, "not evenly spaced"},
        BadCsv{"one_sample", "time_s,x\n0,1\n", {}, "fewer than two samples"}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
