// Bad command lines and refused values: the documented exit code and one line naming the option, the value
// and what the library allows.
#include "QoltRun.h"
#include "qolt_api.h"

namespace {

using clitest::Qolt;
using clitest::RunResult;

struct BadArguments {
    const char* label;
    std::vector<std::string> args;
    int exitCode;
    const char* message; // the whole stderr line after "qolt: "
};

void PrintTo(const BadArguments& c, std::ostream* os) {
    *os << c.label;
}

class Arguments : public clitest::QoltRunTest, public ::testing::WithParamInterface<BadArguments> {};

TEST_P(Arguments, ExitCodeAndOneLineMessage) {
    const BadArguments& c = GetParam();
    const RunResult r = Qolt(c.args);
    EXPECT_EQ(r.exitCode, c.exitCode) << clitest::Describe(r);
    EXPECT_EQ(r.err, std::string("qolt: ") + c.message + "\n");
    EXPECT_EQ(r.out, "");

    std::vector<std::string> json = c.args;
    json.insert(json.begin(), "--json");
    const RunResult j = Qolt(json);
    EXPECT_EQ(j.exitCode, c.exitCode);
    EXPECT_EQ(Query(j.out, "(d['error']['exit_code'], d['error']['message'])"),
              "(" + std::to_string(c.exitCode) + ", '" + c.message + "')")
        << j.out;
}

const std::vector<std::string> kPlay = {"--virtual", "--fast", "play"};

std::vector<std::string> With(std::vector<std::string> head, const std::vector<std::string>& tail) {
    head.insert(head.end(), tail.begin(), tail.end());
    return head;
}

INSTANTIATE_TEST_SUITE_P(
    Usage, Arguments,
    ::testing::Values(
        BadArguments{
            "no_command",
            {},
            2,
            "no command given (list, info, play, scan, load, run, plan or analyze; see qolt --help)"},
        BadArguments{"unknown_command", {"sing"}, 2, "unknown command sing (see qolt --help)"},
        BadArguments{
            "unknown_option", {"play", "sine", "--loud"}, 2, "unknown option --loud (see qolt --help)"},
        BadArguments{"unknown_function", {"play", "cosine"}, 2, "unknown function cosine (see qolt --help)"},
        BadArguments{"missing_value", {"play", "sine", "--amplitude"}, 2, "--amplitude needs a value A"},
        BadArguments{
            "not_a_number", {"play", "sine", "--amplitude", "loud"}, 2, "--amplitude loud: not a number"},
        BadArguments{"wrong_command", {"info", "--qrs", "80"}, 2, "--qrs does not apply to info"},
        BadArguments{"missing_argument", {"play", "iec227"}, 2, "play iec227 needs N"},
        BadArguments{"extra_argument", {"play", "sine", "now"}, 2, "unexpected argument now"},
        BadArguments{"scan_arguments", {"scan", "sine", "1", "2"}, 2, "scan sine needs START STOP SECONDS"},
        BadArguments{"capture_without_virtual",
                     {"play", "sine", "--capture", "x.edf"},
                     2,
                     "--capture needs --virtual (it records what the virtual instrument played)"},
        BadArguments{"capture_type",
                     {"--virtual", "play", "sine", "--capture", "x.wav"},
                     2,
                     "--capture x.wav: the capture file must end in .edf or .csv"},
        BadArguments{"fast_without_virtual", {"--fast", "info"}, 2, "--fast needs --virtual"},
        BadArguments{
            "recording_type", {"load", "x.wav"}, 2, "x.wav: the recording must be a .txt, .bin or .edf file"},
        BadArguments{"duration",
                     {"play", "sine", "--duration", "0"},
                     2,
                     "--duration 0: not a duration of more than 0 s"},
        BadArguments{"port", {"--port", "200", "info"}, 2, "--port 200: not a port number 0 to 127"}),
    [](const ::testing::TestParamInfo<BadArguments>& info) { return info.param.label; });

INSTANTIATE_TEST_SUITE_P(
    Refused, Arguments,
    ::testing::Values(
        BadArguments{"amplitude", With(kPlay, {"sine", "--amplitude", "2000.5"}), 3,
                     "--amplitude 2000.5: refused, allowed -2000 to 2000 (SetAmplitude returned -2)"},
        BadArguments{"frequency", With(kPlay, {"sine", "--frequency", "600"}), 3,
                     "--frequency 600: refused, allowed 0.05 to 500 Hz for sine (SetFrequency returned -2)"},
        BadArguments{"pulse_frequency", With(kPlay, {"pulse", "--frequency", "8"}), 3,
                     "--frequency 8: refused, allowed 0.05 to 5 Hz for pulse (SetFrequency returned -2)"},
        BadArguments{"low_frequency", With(kPlay, {"sine", "--frequency", "0.01"}), 3,
                     "--frequency 0.01: refused, allowed 0.05 to 500 Hz for sine (SetFrequency returned -2)"},
        BadArguments{"pulse_width", With(kPlay, {"pulse", "--pulse-width", "1"}), 3,
                     "--pulse-width 1: refused, allowed 2 to 300 ms (SetPulseWidth returned -2)"},
        BadArguments{"qrs", With(kPlay, {"ecg2-27", "--qrs", "201"}), 3,
                     "--qrs 201: refused, allowed 5 to 200 ms (SetQRSDuration returned -2)"},
        BadArguments{"t_wave", With(kPlay, {"ecg2-27", "--t-wave", "3"}), 3,
                     "--t-wave 3: refused, allowed 0 to 2.5 (SetTWave returned -2)"},
        BadArguments{"lead", With(kPlay, {"sine", "--leads", "0,9"}), 3,
                     "--leads 0,9: refused, allowed leads 0 to 8 (SetOutputLead returned -2)"},
        BadArguments{"dc_offset", With(kPlay, {"sine", "--dc-offset", "100"}), 3,
                     "--dc-offset 100: refused, allowed 0, 300 or -300 (-1000 to 1000 with --dc-variable) "
                     "(SetDCOffset returned -2)"},
        BadArguments{
            "dc_offset_variable", With(kPlay, {"sine", "--dc-variable", "--dc-offset", "-1001"}), 3,
            "--dc-offset -1001: refused, allowed -1000 to 1000 in variable mode (SetDCOffset returned -2)"},
        BadArguments{"pacing_amplitude", With(kPlay, {"sine", "--pacing-amplitude", "701"}), 3,
                     "--pacing-amplitude 701: refused, allowed -700 to 700 (0 = no pacing) "
                     "(SetPacingAmplitude returned -2)"},
        BadArguments{"pacing_duration", With(kPlay, {"sine", "--pacing-duration", "0.05"}), 3,
                     "--pacing-duration 0.05: refused, allowed 0.1 to 3 ms (SetPacingDuration returned -2)"},
        BadArguments{"pacing_rate", With(kPlay, {"sine", "--pacing-rate", "301"}), 3,
                     "--pacing-rate 301: refused, allowed 10 to 300 per minute (SetPacingRate returned -2)"},
        BadArguments{"negative_rate", With(kPlay, {"sine", "--pacing-rate", "-60"}), 3,
                     "--pacing-rate -60: refused, allowed 10 to 300 per minute (SetPacingRate returned -2)"},
        BadArguments{
            "overshoot_time", With(kPlay, {"sine", "--overshoot-time", "-1"}), 3,
            "--overshoot-time -1: refused, allowed 0 to 100 ms (SetOvershootTimeConstant returned -2)"},
        BadArguments{
            "overshoot_amplitude", With(kPlay, {"sine", "--overshoot-amplitude", "5.5"}), 3,
            "--overshoot-amplitude 5.5: refused, allowed -5 to 5 (SetPacingOvershootAmp returned -2)"},
        // Positional arguments are named for what they are, not by the placeholder of the usage line.
        BadArguments{"iec227", With(kPlay, {"iec227", "12"}), 3,
                     "iec227 waveform 12: refused, allowed 0 to 9 (SetSpecialWave227 returned -2)"},
        BadArguments{"iec227_beyond_the_type", With(kPlay, {"iec227", "99"}), 3,
                     "iec227 waveform 99: refused, allowed 0 to 9 (SetSpecialWave227 refuses it with -2)"},
        BadArguments{"iec251", With(kPlay, {"iec251", "16"}), 3,
                     "iec251 waveform 16: refused, allowed 0 to 15 (SetSpecialWave251 refuses it with -2)"},
        BadArguments{"ane20000", With(kPlay, {"ane20000", "9"}), 3,
                     "ane20000 lead 9: refused, allowed leads 0 to 8 (SetANE20000Lead returned -1)"},
        BadArguments{"noise_function", With(kPlay, {"sine", "--noise", "50"}), 3,
                     "--noise 50: refused, only with ecg2-27 (or scan ecg) (SetECG2_27_Noise returned -2)"},
        BadArguments{"noise_amplitude", With(kPlay, {"ecg2-27", "--noise", "50", "--noise-amplitude", "0.3"}),
                     3,
                     "--noise-amplitude 0.3: refused, allowed noise amplitudes 0.01 to 0.2 "
                     "(SetECG2_27_Noise returned -3)"},
        BadArguments{
            "dynamic_range_function", With(kPlay, {"sine", "--dynamic-range-test"}), 3,
            "--dynamic-range-test: refused, only with triangle or square (SetDynamicRangeTest returned -2)"},
        BadArguments{
            "dynamic_range_frequency", With(kPlay, {"square", "--dynamic-range-frequency", "60"}), 3,
            "--dynamic-range-frequency 60: refused, allowed 10 to 50 Hz (SetDynamicRangeTest returned -4)"},
        BadArguments{
            "dynamic_range_10_hz", With(kPlay, {"dynamic-range", "--frequency", "10"}), 3,
            "--frequency 10: refused, dynamic-range steps once every 0.5 s of its cycle: allowed 2 Hz "
            "divided by a whole number (2, 1, 0.5, 0.4, ... 0.05 Hz; 1 Hz unless told)"},
        BadArguments{
            "dynamic_range_1_5_hz", With(kPlay, {"dynamic-range", "--frequency", "1.5"}), 3,
            "--frequency 1.5: refused, dynamic-range steps once every 0.5 s of its cycle: allowed 2 Hz "
            "divided by a whole number (2, 1, 0.5, 0.4, ... 0.05 Hz; 1 Hz unless told)"},
        BadArguments{"baseline_function", With(kPlay, {"square", "--baseline-reset", "50"}), 3,
                     "--baseline-reset 50: refused, allowed 50, 60, 80 or 100 Hz, and only with sine "
                     "(SetBaselineResetTest returned -2)"},
        BadArguments{"baseline_frequency", With(kPlay, {"sine", "--baseline-reset", "70"}), 3,
                     "--baseline-reset 70: refused, allowed 50, 60, 80 or 100 Hz, and only with sine "
                     "(SetBaselineResetTest refuses it with -2)"},
        BadArguments{"scan_start",
                     {"--virtual", "--fast", "scan", "sine", "0.4", "10", "10"},
                     3,
                     "scan start frequency 0.4: refused, allowed start frequencies 0.5 to 500 Hz "
                     "(SetFreqScanSine returned -2)"},
        BadArguments{"scan_stop",
                     {"--virtual", "--fast", "scan", "sine", "1", "501", "10"},
                     3,
                     "scan stop frequency 501: refused, allowed stop frequencies 0.01 to 500 Hz "
                     "(SetFreqScanSine returned -3)"},
        BadArguments{
            "scan_seconds",
            {"--virtual", "--fast", "scan", "sine", "1", "10", "181"},
            3,
            "scan duration 181: refused, allowed durations 10 to 180 s (SetFreqScanSine returned -4)"},
        BadArguments{"frequency_during_scan", With(kPlay, {"ecg2-27", "--frequency", "1"}), 3,
                     "--frequency 1: refused, not while a frequency scan runs (SetFrequency returned -3)"},
        BadArguments{
            "node_format",
            {"--node-format", "/dev/tty%s", "info"},
            3,
            "--node-format /dev/tty%s: refused, allowed a path format with exactly one %d and no other "
            "conversion (SetDeviceNodeFormat returned -2)"}),
    [](const ::testing::TestParamInfo<BadArguments>& info) { return info.param.label; });

TEST(Help, DocumentsEveryExitCodeAndFunction) {
    const RunResult r = Qolt({"--help"});
    ASSERT_EQ(r.exitCode, 0);
    for (int code = 0; code <= 7; ++code) {
        EXPECT_NE(r.out.find("\n  " + std::to_string(code) + "  "), std::string::npos)
            << "exit code " << code;
    }
    for (const char* f : {"sine", "triangle", "square", "pulse", "triangular-pulse", "exponential", "ecg2-27",
                          "ecg", "ecg-single-r", "iec227 N", "iec251 N", "ane20000 LEAD", "dynamic-range"}) {
        EXPECT_NE(r.out.find(std::string("\n  ") + f + " "), std::string::npos) << f;
    }
    EXPECT_EQ(Qolt({"play", "--help"}).exitCode, 0);
    const RunResult v = Qolt({"--version"});
    EXPECT_EQ(v.exitCode, 0);
    EXPECT_EQ(v.out, std::string("qolt, libqolt ") + GetLibraryVersion() + " (interface 1.7.7)\n");
}

} // namespace
