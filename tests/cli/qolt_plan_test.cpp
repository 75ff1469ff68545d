// Test plans end to end: `qolt plan frequency-response`, `qolt run` on the virtual instrument in fast mode,
// and `qolt analyze` of the instrument's own capture and of a simulated device's recording (the capture
// through a known filter, resampled, scaled, offset, noisy and started early, written with EDFlib).
#include "QoltRun.h"

#include <nlohmann/json.hpp>

#include <cmath>
#include <complex>
#include <cstdio>
#include <random>

namespace {

using clitest::Describe;
using clitest::Qolt;
using clitest::RunResult;
using json = nlohmann::json;

constexpr double kPi = 3.14159265358979323846;
const std::vector<double> kPoints = {0.67, 1, 2, 5, 10, 20, 40};

json ReadJson(const std::string& path) {
    return json::parse(clitest::ReadFile(path), nullptr, false);
}

void WriteJson(const std::string& path, const json& j) {
    clitest::WriteFile(path, j.dump(2));
}

// The simulated device: a first-order high-pass at 0.05 Hz and a second-order (Butterworth) low-pass at
// 40 Hz, by the bilinear transform with the corners pre-warped, at the capture's 5000 samples/s.
struct DeviceFilter {
    static std::complex<double> Response(double f) {
        const std::complex<double> s(0.0, 2 * kPi * f);
        const double hp = 2 * kPi * 0.05, lp = 2 * kPi * 40.0, q = std::sqrt(0.5);
        return s / (s + hp) * (lp * lp / (s * s + s * lp / q + lp * lp));
    }
    static double Magnitude(double f) { return std::abs(Response(f)); }

    static std::vector<double> Apply(const std::vector<double>& x, double rate) {
        const double k1 = std::tan(kPi * 0.05 / rate);
        const double hb0 = 1 / (1 + k1), ha1 = (k1 - 1) / (k1 + 1);
        const double k = std::tan(kPi * 40.0 / rate), q = std::sqrt(0.5);
        const double norm = 1 / (1 + k / q + k * k);
        const double b0 = k * k * norm, b1 = 2 * b0, b2 = b0;
        const double a1 = 2 * (k * k - 1) * norm, a2 = (1 - k / q + k * k) * norm;
        std::vector<double> y(x.size());
        double hx1 = 0, hy1 = 0, lx1 = 0, lx2 = 0, ly1 = 0, ly2 = 0;
        for (size_t n = 0; n < x.size(); ++n) {
            const double h = hb0 * x[n] - hb0 * hx1 - ha1 * hy1;
            hx1 = x[n];
            hy1 = h;
            const double l = b0 * h + b1 * lx1 + b2 * lx2 - a1 * ly1 - a2 * ly2;
            lx2 = lx1;
            lx1 = h;
            ly2 = ly1;
            ly1 = l;
            y[n] = l;
        }
        return y;
    }
};

constexpr double kDeviceRate = 500.0;
constexpr double kGain = 37.5;     // uV per unit of the sample scale
constexpr double kOffset = -120.0; // uV
constexpr double kNoise = 0.25;    // uV rms, 0.27 % of the sines' 93.75 uV
constexpr double kLead = 3.7031;   // s recorded before the output starts

// What the device records of the capture (5000 samples/s, from the output's start): `kLead` s of quiet
// before it and 2 s after, filtered, sampled at 500 samples/s, scaled, offset, with noise.
std::vector<double> DeviceRecording(const std::vector<double>& capture) {
    const double in = 5000.0;
    std::vector<double> input(static_cast<size_t>(kLead * in) + 1, 0.0);
    input.insert(input.end(), capture.begin(), capture.end());
    input.resize(input.size() + static_cast<size_t>(2 * in), 0.0);
    const double shift = static_cast<double>(static_cast<size_t>(kLead * in) + 1) / in - kLead;
    const std::vector<double> y = DeviceFilter::Apply(input, in);
    std::mt19937 rng(20240611);
    std::normal_distribution<double> noise(0.0, kNoise);
    std::vector<double> out;
    for (double t = shift; t * in + 1 < static_cast<double>(y.size()); t += 1.0 / kDeviceRate) {
        const double at = t * in;
        const size_t i = static_cast<size_t>(at);
        const double v = y[i] + (y[i + 1] - y[i]) * (at - static_cast<double>(i));
        out.push_back(kGain * v + kOffset + noise(rng));
    }
    return out;
}

// An EDF+ (or BDF+) file with two signals at 500 samples/s: "ECG" (a 7 Hz sine, not the one to analyse)
// and "EEG Fz", written by EDFlib.
bool WriteDeviceEdf(const std::string& path, const std::vector<double>& eeg, bool bdf = false) {
    const int h =
        edfopen_file_writeonly(path.c_str(), bdf ? EDFLIB_FILETYPE_BDFPLUS : EDFLIB_FILETYPE_EDFPLUS, 2);
    if (h < 0) {
        return false;
    }
    const char* labels[] = {"ECG", "EEG Fz"};
    for (int s = 0; s < 2; ++s) {
        edf_set_samplefrequency(h, s, static_cast<int>(kDeviceRate));
        edf_set_physical_maximum(h, s, 600.0);
        edf_set_physical_minimum(h, s, -600.0);
        edf_set_digital_maximum(h, s, bdf ? 8388607 : 32767);
        edf_set_digital_minimum(h, s, bdf ? -8388608 : -32768);
        edf_set_label(h, s, labels[s]);
        edf_set_physical_dimension(h, s, "uV");
    }
    const size_t per = static_cast<size_t>(kDeviceRate);
    std::vector<double> ecg(per), block(per);
    for (size_t r = 0; r * per < eeg.size(); ++r) {
        for (size_t i = 0; i < per; ++i) {
            const size_t at = std::min(r * per + i, eeg.size() - 1);
            block[i] = eeg[at];
            ecg[i] = 300 * std::sin(2 * kPi * 7 * static_cast<double>(r * per + i) / kDeviceRate);
        }
        if (edfwrite_physical_samples(h, ecg.data()) != 0 ||
            edfwrite_physical_samples(h, block.data()) != 0) {
            edfclose_file(h);
            return false;
        }
    }
    return edfclose_file(h) == 0;
}

void WriteDeviceCsv(const std::string& path, const std::vector<double>& eeg) {
    std::string text = "time_s,EEG Fz\n";
    char line[64];
    for (size_t i = 0; i < eeg.size(); ++i) {
        std::snprintf(line, sizeof line, "%.3f,%.4f\n", static_cast<double>(i) / kDeviceRate, eeg[i]);
        text += line;
    }
    clitest::WriteFile(path, text);
}

class Plans : public clitest::QoltRunTest {
protected:
    // Writes a frequency-response plan (with `args`), runs it on the virtual instrument in fast mode with an
    // EDF capture; the run must succeed.
    void RunPlan(const std::vector<std::string>& args = {}) {
        std::vector<std::string> plan = {"plan", "frequency-response", "--output", Path("plan.json")};
        plan.insert(plan.end(), args.begin(), args.end());
        const RunResult p = Qolt(plan);
        ASSERT_EQ(p.exitCode, 0) << Describe(p);
        const RunResult r = Qolt({"--virtual", "--fast", "run", Path("plan.json"), "--result",
                                  Path("result.json"), "--capture", Path("capture.edf")},
                                 std::chrono::seconds(120));
        ASSERT_EQ(r.exitCode, 0) << Describe(r);
        result_ = ReadJson(Path("result.json"));
        ASSERT_FALSE(result_.is_discarded());
    }

    // The analysis report of a recording of the run (exit code checked by the caller).
    RunResult Analyze(const std::string& recording, std::vector<std::string> extra = {}) {
        std::vector<std::string> args = {"analyze",  recording,           "--result", Path("result.json"),
                                         "--report", Path("report.json"), "--plot",   Path("response.svg")};
        args.insert(args.end(), extra.begin(), extra.end());
        const RunResult r = Qolt(args, std::chrono::seconds(120));
        report_ = ReadJson(Path("report.json"));
        return r;
    }

    const json& Step(const std::string& label) const {
        for (const json& s : report_["steps"]) {
            if (s["label"] == label) {
                return s;
            }
        }
        static const json none;
        return none;
    }

    static std::string Label(double f) {
        char text[32];
        std::snprintf(text, sizeof text, "%g Hz", f);
        return text;
    }

    json result_, report_;
};

TEST_F(Plans, FrequencyResponsePlanHasTheStandardPointsAfterAMarker) {
    const RunResult r = Qolt({"plan", "frequency-response"});
    ASSERT_EQ(r.exitCode, 0) << Describe(r);
    const json plan = json::parse(r.out, nullptr, false);
    ASSERT_FALSE(plan.is_discarded()) << r.out;
    EXPECT_EQ(plan["reference"], "10 Hz");
    const json& steps = plan["steps"];
    ASSERT_EQ(steps.size(), kPoints.size() + 1);
    EXPECT_EQ(steps[0]["marker"], true);
    EXPECT_EQ(steps[0]["play"], "square");
    double previous = 0.25;
    for (size_t i = 0; i < kPoints.size(); ++i) {
        const json& s = steps[i + 1];
        const double f = kPoints[i];
        SCOPED_TRACE(Label(f));
        EXPECT_EQ(s["label"], Label(f));
        EXPECT_EQ(s["play"], "sine");
        EXPECT_EQ(s["frequency"].get<double>(), f);
        EXPECT_EQ(s["amplitude"], 1000);
        EXPECT_EQ(s["settle"], 10);
        // Settling, at least 10 whole cycles (and a second), and the wait for the running cycle's end.
        const double window = std::ceil(std::max(10.0, f) - 1e-9) / f;
        EXPECT_NEAR(s["duration"].get<double>(), previous + 0.6 + 10 + window, 0.0011);
        EXPECT_EQ(s.contains("limits"), f != 10.0);
        if (f != 10.0) {
            EXPECT_EQ(s["limits"], json::parse(R"({"response_db": {"min": -3, "max": 0.5}})"));
        }
        previous = 1 / f;
    }

    const RunResult custom =
        Qolt({"plan", "frequency-response", "--points", "1,100", "--reference", "1", "--amplitude", "500",
              "--settle", "2.5", "--cycles", "3", "--min-db", "-1", "--max-db", "1"});
    ASSERT_EQ(custom.exitCode, 0) << Describe(custom);
    const json c = json::parse(custom.out);
    EXPECT_EQ(c["reference"], "1 Hz");
    ASSERT_EQ(c["steps"].size(), 3u);
    EXPECT_EQ(c["steps"][2]["limits"]["response_db"]["min"], -1);
    EXPECT_EQ(c["steps"][2]["settle"], 2.5);
    EXPECT_NEAR(c["steps"][2]["duration"].get<double>(), 1 + 0.6 + 2.5 + 1.0, 0.0011) << "at least 1 s";
    EXPECT_EQ(c["steps"][1]["amplitude"], 500);

    const RunResult bad = Qolt({"plan", "frequency-response", "--points", "1,2", "--reference", "10"});
    EXPECT_EQ(bad.exitCode, 2);
    EXPECT_EQ(bad.err, "qolt: the reference 10 Hz is not one of the points\n");
}

TEST_F(Plans, VirtualInstrumentsOwnCaptureIsFlat) {
    RunPlan();
    if (HasFatalFailure()) {
        return;
    }
    // The result: steps back to back from the output's start, host times, the session.
    const json& steps = result_["steps"];
    ASSERT_EQ(steps.size(), kPoints.size() + 1);
    EXPECT_EQ(result_["ended"], "completed");
    EXPECT_EQ(steps[0]["output_start_sample"], 0);
    EXPECT_EQ(steps[0]["output_was_running"], false);
    for (size_t i = 0; i < steps.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(steps[i]["ended"], "duration");
        if (i > 0) {
            EXPECT_EQ(steps[i]["output_start_sample"], steps[i - 1]["output_end_sample"]);
            EXPECT_EQ(steps[i]["output_was_running"], true);
            EXPECT_GE(steps[i]["start"]["monotonic_s"].get<double>(),
                      steps[i - 1]["end"]["monotonic_s"].get<double>());
        }
        // Whole packets, at least the step's duration.
        const int64_t samples =
            steps[i]["output_end_sample"].get<int64_t>() - steps[i]["output_start_sample"].get<int64_t>();
        EXPECT_EQ(samples % 1500, 0);
        EXPECT_GE(samples * 0.0002 + 1e-9, result_["plan"]["steps"][i]["duration"].get<double>());
        EXPECT_LT(samples * 0.0002, result_["plan"]["steps"][i]["duration"].get<double>() + 0.3);
        EXPECT_EQ(steps[i]["start"]["utc"].get<std::string>().back(), 'Z');
    }
    EXPECT_EQ(steps[3]["settings"]["frequency_hz"], 2.0);
    EXPECT_EQ(steps[3]["settings"]["amplitude"], 1000.0);
    EXPECT_EQ(steps[3]["settings"]["output_function"], 1);
    EXPECT_EQ(result_["session"]["serial"], "KEE2301-170300");
    EXPECT_EQ(result_["session"]["firmware"], "5.6");
    EXPECT_FALSE(result_["session"]["library_version"].get<std::string>().empty());
    EXPECT_FALSE(result_["session"]["interface_version"].get<std::string>().empty());

    // The capture marks each step's start and end.
    const clitest::EdfContent edf = clitest::ReadEdf(Path("capture.edf"));
    ASSERT_EQ(edf.openError, 0);
    const auto has = [&](long long onset, const std::string& text) {
        return std::find(edf.annotations.begin(), edf.annotations.end(), std::make_pair(onset, text)) !=
               edf.annotations.end();
    };
    const long long second = 10000000;
    EXPECT_TRUE(has(steps[2]["output_start_sample"].get<long long>() * second / 5000, "step 3: 1 Hz"));
    EXPECT_TRUE(has(steps[2]["output_end_sample"].get<long long>() * second / 5000, "end of step 3: 1 Hz"));

    const RunResult a = Analyze(Path("capture.edf"));
    ASSERT_EQ(a.exitCode, 0) << Describe(a);
    std::printf("%s", a.out.c_str());
    EXPECT_NEAR(report_["marker"]["time_s"].get<double>(), 0.0, 1e-9);
    for (double f : kPoints) {
        const json& s = Step(Label(f));
        SCOPED_TRACE(Label(f));
        ASSERT_TRUE(s.is_object());
        std::printf("%-8s expected %+.3f dB, measured %+.4f dB, phase %+.3f deg\n", Label(f).c_str(), 0.0,
                    s["response_db"].get<double>(), s["phase_deg"].get<double>());
        EXPECT_NEAR(s["response_db"].get<double>(), 0.0, 0.01);
        EXPECT_NEAR(s["phase_deg"].get<double>(), 0.0, 0.5);
        EXPECT_NEAR(s["amplitude"].get<double>(), 2.5, 0.005) << "amplitude 1000 is a peak of 2.5";
        EXPECT_EQ(s["verdict"], f == 10 ? "not-judged" : "pass");
    }
    EXPECT_EQ(report_["passed"], true);
}

TEST_F(Plans, SimulatedDeviceShowsItsFiltersResponse) {
    // Limits of -2 to 0.5 dB: the 40 Hz low-pass corner (-3 dB) fails, every other point passes.
    RunPlan({"--min-db", "-2"});
    if (HasFatalFailure()) {
        return;
    }
    const clitest::EdfContent capture = clitest::ReadEdf(Path("capture.edf"));
    ASSERT_EQ(capture.openError, 0);
    ASSERT_EQ(capture.rate, 5000.0);
    const std::vector<double> device = DeviceRecording(capture.samples);
    ASSERT_TRUE(WriteDeviceEdf(Path("device.edf"), device));
    ASSERT_TRUE(WriteDeviceEdf(Path("device.bdf"), device, true));
    WriteDeviceCsv(Path("device.csv"), device);

    // The signal by label, by number, and the only one of the CSV.
    const std::vector<std::pair<const char*, std::vector<std::string>>> forms = {
        {"device.edf", {"--label", "EEG Fz"}}, {"device.bdf", {"--signal", "1"}}, {"device.csv", {}}};
    for (const auto& [form, choice] : forms) {
        SCOPED_TRACE(form);
        const RunResult a = Analyze(Path(form), choice);
        EXPECT_EQ(a.exitCode, 1) << Describe(a) << "one step fails";
        std::printf("%s\n%s", form, a.out.c_str());
        ASSERT_TRUE(report_.is_object()) << a.err;
        EXPECT_EQ(report_["passed"], false);
        EXPECT_NEAR(report_["marker"]["time_s"].get<double>(), kLead, 0.01);
        EXPECT_EQ(report_["recording"]["rate_hz"], kDeviceRate);
        for (double f : kPoints) {
            const json& s = Step(Label(f));
            SCOPED_TRACE(Label(f));
            ASSERT_TRUE(s.is_object());
            const double expected = 20 * std::log10(DeviceFilter::Magnitude(f) / DeviceFilter::Magnitude(10));
            std::printf("%-8s expected %+.3f dB, measured %+.3f dB\n", Label(f).c_str(), expected,
                        s["response_db"].get<double>());
            EXPECT_NEAR(s["response_db"].get<double>(), expected, 0.1);
            EXPECT_NEAR(s["amplitude"].get<double>(), kGain * 2.5 * DeviceFilter::Magnitude(f),
                        0.02 * kGain * 2.5);
            EXPECT_NEAR(s["mean"].get<double>(), kOffset, 0.5);
            // The phase is the filter's, plus what its delay of the marker adds (its edges come late).
            const double delay = report_["marker"]["time_s"].get<double>() - kLead;
            const double phase = std::arg(DeviceFilter::Response(f)) * 180 / kPi + 360 * f * delay;
            EXPECT_NEAR(std::remainder(s["phase_deg"].get<double>() - phase, 360.0), 0.0, 1.0);
            EXPECT_EQ(s["verdict"], f == 10 ? "not-judged" : f == 40 ? "fail" : "pass");
        }
    }
    // The plot: the response path through the seven points, the failed one red.
    const RunResult svg = clitest::Python(
        "import sys, xml.etree.ElementTree as ET\n"
        "ns = '{http://www.w3.org/2000/svg}'\n"
        "root = ET.parse(sys.argv[1]).getroot()\n"
        "path = [e for e in root.iter(ns + 'path') if e.get('id') == 'response'][0]\n"
        "points = [g for g in root.iter(ns + 'g') if g.get('id') == 'points'][0]\n"
        "fills = sorted(c.get('fill') for c in points.iter(ns + 'circle'))\n"
        "print(path.get('d').count('L') + 1, fills.count('#d62728'), fills.count('#2a9d2a'))\n",
        Path("response.svg"));
    ASSERT_EQ(svg.exitCode, 0) << svg.err;
    EXPECT_EQ(svg.out, "7 1 5\n");
}

// Each step starts from the defaults; a scan that ends switches the output off and the next step starts it
// again.
TEST_F(Plans, StepsStartFromTheDefaultsAndAScanEndStopsTheOutput) {
    const json plan = json::parse(R"({"steps": [
        {"label": "offset", "play": "sine", "frequency": 10, "amplitude": 500, "dc-offset": 300, "leads": [0, 3],
         "duration": 1},
        {"label": "plain", "play": "triangle", "frequency": 5, "duration": 1},
        {"label": "sweep", "scan": "sine", "start": 1, "stop": 5, "seconds": 10, "duration": 20},
        {"label": "again", "play": "sine", "duration": 0.6}]})");
    WriteJson(Path("steps.json"), plan);
    const RunResult r = Qolt({"--virtual", "--fast", "run", Path("steps.json"), "--result",
                              Path("result.json"), "--capture", Path("capture.csv")});
    ASSERT_EQ(r.exitCode, 0) << Describe(r);
    const json result = ReadJson(Path("result.json"));
    const json& steps = result["steps"];
    ASSERT_EQ(steps.size(), 4u);
    EXPECT_EQ(steps[0]["settings"]["amplitude"], 500.0);
    EXPECT_EQ(steps[0]["settings"]["dc_offset"], 300);
    EXPECT_EQ(steps[0]["settings"]["leads"], json::parse("[0, 3]"));
    EXPECT_EQ(steps[1]["settings"]["amplitude"], 100.0) << "back to the default";
    EXPECT_EQ(steps[1]["settings"]["dc_offset"], 0);
    EXPECT_EQ(steps[1]["settings"]["leads"], json::parse("[0]"));
    EXPECT_EQ(steps[1]["settings"]["output_function"], 2);
    EXPECT_EQ(steps[2]["ended"], "output-off") << "the scan's 10 s end before the step's 20";
    const int64_t scanned =
        steps[2]["output_end_sample"].get<int64_t>() - steps[2]["output_start_sample"].get<int64_t>();
    EXPECT_NEAR(scanned * 0.0002, 10.0, 0.31);
    EXPECT_EQ(steps[3]["output_was_running"], false);
    EXPECT_EQ(steps[3]["settings"]["frequency_hz"], 10.0) << "the scan's frequency is not kept";
    EXPECT_EQ(steps[3]["ended"], "duration");

    // What was played: the second step's triangle at the default amplitude (a peak of 0.25).
    std::vector<double> samples;
    for (const clitest::CsvRow& row : clitest::ReadCsv(Path("capture.csv"))) {
        if (row.isSample) {
            samples.push_back(row.value);
        }
    }
    const size_t from = static_cast<size_t>(steps[1]["output_start_sample"].get<int64_t>()) + 1000;
    const size_t to = static_cast<size_t>(steps[1]["output_end_sample"].get<int64_t>());
    ASSERT_LT(from, to);
    ASSERT_LE(to, samples.size());
    const auto [low, high] = std::minmax_element(samples.begin() + from, samples.begin() + to);
    EXPECT_NEAR(*high, 0.25, 0.003);
    EXPECT_NEAR(*low, -0.25, 0.003);
    EXPECT_EQ(samples.size(), static_cast<size_t>(steps[3]["output_end_sample"].get<int64_t>()));
}

// Bad plans are refused before anything is played: with the step, the key and what is allowed.
TEST_F(Plans, BadPlansAreRefusedBeforeAnythingPlays) {
    const RunResult p = Qolt({"plan", "frequency-response", "--output", Path("plan.json")});
    ASSERT_EQ(p.exitCode, 0) << Describe(p);
    const json good = ReadJson(Path("plan.json"));
    struct Case {
        const char* name;
        std::function<void(json&)> change;
        int exitCode;
        std::string message; // the start of stderr after "qolt: "
    };
    const std::string plan = Path("bad.json");
    const std::vector<Case> cases = {
        {"misspelt_option", [](json& j) { j["steps"][2]["frequncy"] = 2; }, 8,
         plan +
             ": step 3 (\"1 Hz\"): key \"frequncy\" is not allowed; allowed the step keys label, marker, "
             "play, scan, load, argument, start, stop, seconds, duration, settle, limits and the options of "
             "play: amplitude, frequency, pulse-width,"},
        {"not_a_number", [](json& j) { j["steps"][1]["frequency"] = "fast"; }, 8,
         plan + ": step 2 (\"0.67 Hz\"): --frequency fast: not a number"},
        {"run_wide_option", [](json& j) { j["steps"][1]["virtual"] = true; }, 8,
         plan +
             ": step 2 (\"0.67 Hz\"): key \"virtual\" is set for the whole run, on qolt run's command line"},
        {"unknown_figure",
         [](json& j) {
             j["steps"][1]["limits"]["gain"] = {{"min", 1}};
         },
         8, plan + ": step 2 (\"0.67 Hz\"): limits: \"gain\" is not a figure; allowed response_db,"},
        {"two_commands", [](json& j) { j["steps"][1]["scan"] = "ecg"; }, 8,
         plan + ": step 2 (\"0.67 Hz\"): needs exactly one of \"play\""},
        {"unknown_reference", [](json& j) { j["reference"] = "11 Hz"; }, 8,
         plan + ": \"reference\": no step is labelled \"11 Hz\""},
        {"not_json", [](json&) {}, 8, plan + ": not JSON: "},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        json j = good;
        c.change(j);
        clitest::WriteFile(plan, std::string(c.name) == "not_json" ? "{\"steps\": [" : j.dump(2));
        // No --virtual and no instrument: the plan is refused before any search for one.
        const RunResult r = Qolt({"run", plan, "--timeout", "0.2"});
        EXPECT_EQ(r.exitCode, c.exitCode) << Describe(r);
        EXPECT_EQ(r.err.rfind("qolt: " + c.message, 0), 0u) << r.err;
        EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << "one line";
    }

    // A value the library refuses is found on the instrument, before the first step plays.
    json j = good;
    j["steps"][4]["amplitude"] = 3000;
    WriteJson(plan, j);
    const RunResult r =
        Qolt({"--virtual", "--fast", "run", plan, "--result", Path("r.json"), "--capture", Path("c.edf")});
    EXPECT_EQ(r.exitCode, 3) << Describe(r);
    EXPECT_EQ(r.err, "qolt: step 5 (\"5 Hz\"): --amplitude 3000: refused, allowed -2000 to 2000 "
                     "(SetAmplitude returned -2)\n");
    EXPECT_NE(access(Path("c.edf").c_str(), F_OK), 0) << "nothing was played";
    EXPECT_NE(access(Path("r.json").c_str(), F_OK), 0);
}

// Recordings and results the analysis cannot use: clear errors and their exit codes.
TEST_F(Plans, AnalysisRefusesWhatItCannotUse) {
    RunPlan();
    if (HasFatalFailure()) {
        return;
    }
    const clitest::EdfContent capture = clitest::ReadEdf(Path("capture.edf"));
    ASSERT_EQ(capture.openError, 0);
    const std::vector<double> device = DeviceRecording(capture.samples);
    // Started after the marker; ended a minute into the plan.
    const size_t late = static_cast<size_t>((kLead + 2.5) * kDeviceRate);
    ASSERT_TRUE(WriteDeviceEdf(Path("late.edf"), std::vector<double>(device.begin() + late, device.end())));
    ASSERT_TRUE(WriteDeviceEdf(
        Path("short.edf"),
        std::vector<double>(device.begin(), device.begin() + static_cast<size_t>(60 * kDeviceRate))));
    ASSERT_TRUE(WriteDeviceEdf(Path("device.edf"), device));
    clitest::WriteFile(Path("broken.json"), "{\"format\": ");
    json missing = result_;
    missing["steps"][2].erase("output_start_sample");
    WriteJson(Path("missing.json"), missing);

    struct Case {
        const char* name;
        std::vector<std::string> args;
        int exitCode;
        std::string message; // the start of stderr after "qolt: "
        std::string also = {};
    };
    const std::vector<Case> cases = {
        {"no_marker",
         {"analyze", Path("late.edf"), "--result", Path("result.json"), "--label", "EEG Fz"},
         9,
         Path("late.edf") + ": no marker (a 4 Hz square burst of 8 cycles) found: the best match, at "},
        {"too_short",
         {"analyze", Path("short.edf"), "--result", Path("result.json"), "--label", "EEG Fz"},
         9,
         Path("short.edf") + ": the recording is too short: it ends 56.",
         "s after the marker, but step 4 (\"2 Hz\")'s "
         "window ends 66."},
        {"wrong_signal",
         {"analyze", Path("device.edf"), "--result", Path("result.json"), "--label", "EEG Cz"},
         5,
         "cannot read " + Path("device.edf") +
             ": no signal labelled \"EEG Cz\" (the signals are ECG, EEG Fz)"},
        {"no_such_recording",
         {"analyze", Path("none.edf"), "--result", Path("result.json")},
         5,
         "cannot read " + Path("none.edf") + ": no such file"},
        {"result_not_json",
         {"analyze", Path("device.edf"), "--result", Path("broken.json")},
         8,
         Path("broken.json") + ": not JSON: "},
        {"result_incomplete",
         {"analyze", Path("device.edf"), "--result", Path("missing.json")},
         8,
         Path("missing.json") + ": result step 3: "},
        {"no_result", {"analyze", Path("device.edf")}, 2, "analyze needs --result RESULT.json"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const RunResult r = Qolt(c.args);
        EXPECT_EQ(r.exitCode, c.exitCode) << Describe(r);
        EXPECT_EQ(r.err.rfind("qolt: " + c.message, 0), 0u) << r.err;
        EXPECT_NE(r.err.find(c.also), std::string::npos) << r.err;
        EXPECT_EQ(r.out, "");
    }
}

} // namespace
