// `qolt scan` and `qolt load` end to end against the virtual instrument in fast mode.
#include "QoltRun.h"

#include <cmath>
#include <cstdint>
#include <sys/stat.h>

namespace {

using clitest::CaptureRun;
using clitest::MaxOf;

class Scan : public clitest::QoltRunTest {};

size_t ZeroCrossings(const std::vector<double>& v, size_t from, size_t to) {
    size_t n = 0;
    for (size_t i = from + 1; i < to && i < v.size(); ++i) {
        n += (v[i - 1] < 0.0) != (v[i] < 0.0) ? 1 : 0;
    }
    return n;
}

TEST_F(Scan, SineSweepsToTheStopAndSwitchesTheOutputOff) {
    const CaptureRun run =
        RunWithCaptures({"--virtual", "--fast", "scan", "sine", "0.5", "150", "10", "--amplitude", "1000"});
    CheckCaptures(run);
    if (HasFatalFailure()) {
        return;
    }
    EXPECT_EQ(Query(run.result.out, "d['ended']"), "output-off");
    EXPECT_EQ(Query(run.result.out, "d['last_frequency_hz'] >= 149.99"), "True") << run.result.out;
    // The end is tested once a packet: the output stops within a packet of 10 s.
    EXPECT_EQ(Query(run.result.out, "10.0 <= d['capture']['seconds'] <= 10.31"), "True") << run.result.out;
    EXPECT_NEAR(MaxOf(run.samples), 2.5, 0.01);
    // 0.5 to 15.5 Hz in the first second, 135 to 150 Hz in the last.
    EXPECT_LT(ZeroCrossings(run.samples, 0, 5000) * 10, ZeroCrossings(run.samples, 45000, 50000));
    // The scan's end stops the stream where the samples end; Close follows.
    ASSERT_GE(run.events.size(), 2u);
    const auto stop = std::find_if(run.events.begin(), run.events.end(),
                                   [](const auto& e) { return e.second == "stop-stream"; });
    ASSERT_NE(stop, run.events.end());
    EXPECT_NEAR(stop->first, static_cast<double>(run.samples.size()) * 0.0002, 1e-9);
    EXPECT_EQ(run.events.back().second, "close");
}

TEST_F(Scan, EcgRateScanRunsItsThirtySeconds) {
    const CaptureRun run = RunWithCaptures({"--virtual", "--fast", "scan", "ecg", "--qrs", "60"});
    CheckCaptures(run);
    if (HasFatalFailure()) {
        return;
    }
    EXPECT_EQ(Query(run.result.out, "d['ended']"), "output-off");
    EXPECT_EQ(Query(run.result.out, "30.0 <= d['capture']['seconds'] <= 30.31"), "True") << run.result.out;
}

TEST_F(Scan, DurationEndsAScanEarly) {
    const CaptureRun run =
        RunWithCaptures({"--virtual", "--fast", "scan", "sine", "0.5", "150", "30", "--duration", "3"});
    CheckCaptures(run);
    if (HasFatalFailure()) {
        return;
    }
    EXPECT_EQ(Query(run.result.out, "d['ended']"), "duration");
    EXPECT_EQ(Query(run.result.out, "abs(d['capture']['seconds'] - 3.0) < 1e-9"), "True");
    EXPECT_EQ(Query(run.result.out, "0.5 < d['last_frequency_hz'] < 100"), "True") << run.result.out;
}

class Load : public clitest::QoltRunTest {
protected:
    // One second at 1000 samples/s: a staircase of 100-sample steps from -500 to 400.
    static std::vector<int> Recording() {
        std::vector<int> v;
        for (int i = 0; i < 1000; ++i) {
            v.push_back((i / 100) * 100 - 500);
        }
        return v;
    }

    void WriteText(const std::string& path) const {
        std::string text = "1000\n1000\n";
        for (int v : Recording()) {
            text += std::to_string(v) + "\n";
        }
        clitest::WriteFile(path, text);
    }

    void WriteBinary(const std::string& path) const {
        std::string b;
        auto put = [&](uint32_t v, int bytes) {
            for (int i = bytes - 1; i >= 0; --i) {
                b += static_cast<char>((v >> (8 * i)) & 0xFF);
            }
        };
        put(1000, 2);
        put(1000, 4);
        for (int v : Recording()) {
            put(static_cast<uint16_t>(static_cast<int16_t>(v)), 2);
        }
        clitest::WriteFile(path, b);
    }

    // Played values: a recorded sample / 1000 times the standard model's gain 5, held for 5 output samples.
    // The library accumulates its output time in steps of 0.2 ms, so a sample on a boundary may still show
    // the recorded sample before or already the one after.
    void CheckPlayed(const CaptureRun& run, double seconds) const {
        const std::vector<int> rec = Recording();
        const size_t n = static_cast<size_t>(seconds / 0.0002);
        ASSERT_GE(run.samples.size(), n);
        auto played = [&](size_t at) { return rec[(at + rec.size()) % rec.size()] / 1000.0 * 5.0; };
        for (size_t i = 0; i < n; ++i) {
            const size_t at = (i % 5000) / 5;
            const double v = run.samples[i];
            const bool near = std::abs(v - played(at)) < 0.003 || std::abs(v - played(at - 1)) < 0.003 ||
                              std::abs(v - played(at + 1)) < 0.003;
            ASSERT_TRUE(near) << "sample " << i << ": " << v << ", recorded " << played(at);
        }
    }

    // The recording as EDF+ written by EDFlib, in two records of half a second.
    void WriteEdf(const std::string& path) const {
        const int h = edfopen_file_writeonly(path.c_str(), EDFLIB_FILETYPE_EDFPLUS, 1);
        ASSERT_GE(h, 0);
        ASSERT_EQ(edf_set_datarecord_duration(h, 50000), 0);
        ASSERT_EQ(edf_set_samplefrequency(h, 0, 500), 0);
        ASSERT_EQ(edf_set_physical_maximum(h, 0, 1000.0), 0);
        ASSERT_EQ(edf_set_physical_minimum(h, 0, -1000.0), 0);
        ASSERT_EQ(edf_set_digital_maximum(h, 0, 32767), 0);
        ASSERT_EQ(edf_set_digital_minimum(h, 0, -32768), 0);
        const std::vector<int> rec = Recording();
        for (size_t record = 0; record < 2; ++record) {
            std::vector<double> v(rec.begin() + static_cast<long>(record * 500),
                                  rec.begin() + static_cast<long>(record * 500 + 500));
            ASSERT_EQ(edfwrite_physical_samples(h, v.data()), 0);
        }
        ASSERT_EQ(edfclose_file(h), 0);
    }
};

// Played once, a run reports the recording's own length (1 s), not the rest of its last packet.
TEST_F(Load, RecordingsPlayOnceForTheirOwnLength) {
    WriteText(Path("rec.txt"));
    WriteBinary(Path("rec.bin"));
    WriteEdf(Path("rec.edf"));
    struct Case {
        const char* name;
        bool fast;
    };
    for (const Case c :
         {Case{"rec.txt", true}, Case{"rec.bin", true}, Case{"rec.edf", true}, Case{"rec.txt", false}}) {
        SCOPED_TRACE(std::string(c.name) + (c.fast ? " fast" : " real time"));
        std::vector<std::string> args = {"--virtual", "load", Path(c.name), "--once"};
        if (c.fast) {
            args.insert(args.begin() + 1, "--fast");
        }
        const CaptureRun run = RunWithCaptures(args, c.name);
        CheckCaptures(run);
        if (HasFatalFailure()) {
            return;
        }
        EXPECT_EQ(Query(run.result.out, "d['samples_loaded']"), "1000");
        EXPECT_EQ(Query(run.result.out, "d['ended']"), "output-off") << "the recording ended";
        EXPECT_EQ(Query(run.result.out, "d['seconds'] == 1.0"), "True") << run.result.out;
        EXPECT_EQ(Query(run.result.out, "d['capture']['seconds'] == 1.0"), "True") << run.result.out;
        EXPECT_EQ(Query(run.result.out, "d['received_seconds'] > 1.0"), "True") << run.result.out;
        CheckPlayed(run, 1.0);
    }
    const clitest::RunResult text = clitest::Qolt({"--virtual", "--fast", "load", Path("rec.bin"), "--once"});
    EXPECT_EQ(text.out.rfind("played " + Path("rec.bin") + " for 1.0 s (", 0), 0u) << text.out;
}

TEST_F(Load, RepeatsUntilTheDuration) {
    WriteText(Path("rec.txt"));
    const CaptureRun run =
        RunWithCaptures({"--virtual", "--fast", "load", Path("rec.txt"), "--duration", "2.5"});
    CheckCaptures(run);
    if (HasFatalFailure()) {
        return;
    }
    EXPECT_EQ(Query(run.result.out, "d['ended']"), "duration");
    CheckPlayed(run, 2.5);
}

TEST_F(Load, EdfSignalChosenByNumber) {
    // Written by EDFlib: two signals, 200 and 100 samples/s, 2 records of 1 s.
    const std::string path = Path("two.edf");
    const int h = edfopen_file_writeonly(path.c_str(), EDFLIB_FILETYPE_EDFPLUS, 2);
    ASSERT_GE(h, 0);
    const int rates[2] = {200, 100};
    for (int s = 0; s < 2; ++s) {
        edf_set_samplefrequency(h, s, rates[s]);
        edf_set_physical_maximum(h, s, 1000.0);
        edf_set_physical_minimum(h, s, -1000.0);
        edf_set_digital_maximum(h, s, 32767);
        edf_set_digital_minimum(h, s, -32768);
        edf_set_label(h, s, s == 0 ? "zero" : "one");
    }
    for (int record = 0; record < 2; ++record) {
        for (int s = 0; s < 2; ++s) {
            std::vector<double> v(static_cast<size_t>(rates[s]),
                                  s == 0 ? 0.0 : (record == 0 ? 400.0 : -200.0));
            ASSERT_EQ(edfwrite_physical_samples(h, v.data()), 0);
        }
    }
    ASSERT_EQ(edfclose_file(h), 0);

    const CaptureRun run =
        RunWithCaptures({"--virtual", "--fast", "load", path, "--signal", "1", "--once"}, "edf");
    CheckCaptures(run);
    if (HasFatalFailure()) {
        return;
    }
    EXPECT_EQ(Query(run.result.out, "d['samples_loaded']"), "200");
    EXPECT_EQ(Query(run.result.out, "d['ended']"), "output-off");
    ASSERT_GE(run.samples.size(), 10000u);
    EXPECT_NEAR(run.samples[100], 2.0, 0.02);   // 400 / 1000 * 5 (EDF values are not quantised to the file)
    EXPECT_NEAR(run.samples[7000], -1.0, 0.02); // the second record
}

const char* const kFifo = "\x01fifo";     // content: make a FIFO of that name
const char* const kFolder = "\x01folder"; // content: make a folder of that name

struct BadFile {
    const char* label;
    const char* name;
    const char* content; // null: no file; kFifo, kFolder: one of those
    std::vector<std::string> extra;
    const char* explanation;
    const char* code;
    const char* absent = nullptr; // must not be said
};

void PrintTo(const BadFile& c, std::ostream* os) {
    *os << c.label;
}

class LoadFailure : public clitest::QoltRunTest, public ::testing::WithParamInterface<BadFile> {};

TEST_P(LoadFailure, ExplainsTheLoadersCode) {
    const BadFile& c = GetParam();
    if (c.content == kFifo) {
        ASSERT_EQ(mkfifo(Path(c.name).c_str(), 0600), 0);
    } else if (c.content == kFolder) {
        ASSERT_EQ(mkdir(Path(c.name).c_str(), 0700), 0);
    } else if (c.content != nullptr) {
        clitest::WriteFile(Path(c.name), c.content);
    }
    std::vector<std::string> args = {"--virtual", "--fast", "load", Path(c.name)};
    args.insert(args.end(), c.extra.begin(), c.extra.end());
    const clitest::RunResult r = clitest::Qolt(args);
    EXPECT_EQ(r.exitCode, 5) << clitest::Describe(r);
    EXPECT_NE(r.err.find(c.explanation), std::string::npos) << r.err;
    EXPECT_NE(r.err.find(c.code), std::string::npos) << r.err;
    if (c.absent != nullptr) {
        EXPECT_EQ(r.err.find(c.absent), std::string::npos) << r.err;
    }
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << "one line";

    args.push_back("--json");
    const clitest::RunResult j = clitest::Qolt(args);
    EXPECT_EQ(j.exitCode, 5);
    EXPECT_EQ(Query(j.out, "d['error']['exit_code']"), "5") << j.out;
}

INSTANTIATE_TEST_SUITE_P(
    Files, LoadFailure,
    ::testing::Values(
        BadFile{"missing",
                "missing.txt",
                nullptr,
                {},
                "the file cannot be opened: No such file or directory (LoadEEGtxt returned -1)",
                "LoadEEGtxt returned -1"},
        BadFile{"missing_edf",
                "missing.edf",
                nullptr,
                {},
                "the file cannot be opened: No such file or directory (LoadEEGedf returned -1)",
                "LoadEEGedf returned -1",
                "valid"},
        BadFile{"fifo",
                "pipe.edf",
                kFifo,
                {},
                "is a FIFO, not a regular file",
                "LoadEEGedf returned -1",
                "valid"},
        BadFile{
            "folder", "folder.bin", kFolder, {}, "is a folder, not a regular file", "LoadEEGbin returned -1"},
        BadFile{"no_rate",
                "rate.txt",
                "abc\n5\n1\n",
                {},
                "sample rate) is missing or not a number above 0",
                "returned -2"},
        BadFile{"no_count", "count.txt", "1000\n", {}, "sample count) is missing or 0", "returned -3"},
        BadFile{"no_samples", "empty.txt", "1000\n5\n", {}, "holds no samples", "returned 0"},
        BadFile{"short_binary",
                "short.bin",
                "\x03",
                {},
                "shorter than 2 bytes or its sample rate is 0",
                "LoadEEGbin returned -2"},
        BadFile{"not_edf",
                "bad.edf",
                "this is not an EDF file",
                {},
                "the file is not a valid EDF/EDF+ file (header or signal headers short or invalid)",
                "LoadEEGedf returned -1",
                "cannot be opened"}),
    [](const ::testing::TestParamInfo<BadFile>& info) { return info.param.label; });

// A signal the file lacks needs a real EDF file: one the tool wrote itself.
class LoadOwnCapture : public clitest::QoltRunTest {};

TEST_F(LoadOwnCapture, ACaptureLoadsBackAsARecording) {
    const CaptureRun first = RunWithCaptures(
        {"--virtual", "--fast", "play", "square", "--amplitude", "1000", "--duration", "1"}, "sq");
    CheckCaptures(first);
    if (HasFatalFailure()) {
        return;
    }
    const clitest::RunResult missingSignal =
        clitest::Qolt({"--virtual", "--fast", "load", first.edf, "--signal", "5"});
    EXPECT_EQ(missingSignal.exitCode, 5) << clitest::Describe(missingSignal);
    EXPECT_NE(missingSignal.err.find("has no signal 5"), std::string::npos) << missingSignal.err;

    const CaptureRun again = RunWithCaptures({"--virtual", "--fast", "load", first.edf, "--once"}, "again");
    CheckCaptures(again);
    if (HasFatalFailure()) {
        return;
    }
    EXPECT_EQ(Query(again.result.out, "d['samples_loaded']"), "5000");
    // +-2.5 recorded, played as 2.5 / 1000 * 5.
    EXPECT_NEAR(MaxOf(again.samples), 0.0125, 0.003);
}

} // namespace
