// qolt-sim serving other processes: qolt and the C example find it through the format it prints, it plays
// the faults it is given, and it writes what it played.
#include "QoltRun.h"

#include <csignal>

namespace {

using clitest::Child;
using clitest::RunResult;

class SimProgram : public clitest::QoltRunTest {
protected:
    // Starts qolt-sim and reads its ready lines.
    bool StartSim(Child& sim, std::vector<std::string> args) {
        args.insert(args.begin(), clitest::SimBin());
        if (!sim.Start(args)) {
            return false;
        }
        if (!sim.ReadUntil(
                [](const std::string& out) {
                    return out.find("serial") != std::string::npos && out.back() == '\n';
                },
                std::chrono::seconds(10))) {
            return false;
        }
        ready_ = clitest::ReadyLines(sim.Out());
        return true;
    }
    std::vector<std::string> Where() const {
        return {"--node-format", ready_.at("format"), "--lock-dir", ready_.at("lock-dir"),
                "--port",        ready_.at("port")};
    }
    std::map<std::string, std::string> ready_;
};

TEST_F(SimProgram, QoltFindsItThroughWhatItPrints) {
    Child sim;
    ASSERT_TRUE(StartSim(sim, {"--node", "4", "--model", "enhanced", "--firmware", "6.1", "--unit", "77"}));
    EXPECT_EQ(ready_["port"], "4");
    EXPECT_EQ(ready_["serial"], "KEE2302-170077");
    EXPECT_EQ(ready_["node"], ready_["lock-dir"] + "/ttyACM4");

    std::vector<std::string> args = Where();
    args.insert(args.end(), {"info", "--json"});
    const RunResult r = clitest::Qolt(args);
    ASSERT_EQ(r.exitCode, 0) << clitest::Describe(r);
    EXPECT_EQ(Query(r.out, "(d['serial'], d['model'], d['firmware'], d['port'])"),
              "('KEE2302-170077', 'enhanced', '6.1', '" + ready_["node"] + "')");

    sim.Signal(SIGTERM);
    const RunResult end = sim.Wait(std::chrono::seconds(10));
    EXPECT_EQ(end.exitCode, 0) << clitest::Describe(end);
    EXPECT_NE(end.err.find("qolt-sim: received 0 packets"), std::string::npos) << end.err;
}

TEST_F(SimProgram, PlaysForAnotherProcessAndWritesItsCaptureAtTheEnd) {
    Child sim;
    const std::string csv = Path("sim.csv"), edf = Path("sim.edf");
    ASSERT_TRUE(StartSim(sim, {"--exit-on-close", "--json", "--capture", csv, "--capture", edf}));
    // --json: the ready line is one JSON object.
    const std::string line = sim.Out().substr(0, sim.Out().find('\n'));
    EXPECT_EQ(Query(line, "sorted(d.keys())"), "['format', 'lock_dir', 'node', 'port', 'serial']");
    ready_["format"] = Query(line, "d['format']");
    ready_["lock-dir"] = Query(line, "d['lock_dir']");
    ready_["port"] = Query(line, "d['port']");

    std::vector<std::string> args = Where();
    args.insert(args.end(), {"play", "square", "--amplitude", "1000", "--duration", "1"});
    clitest::Child qolt;
    args.insert(args.begin(), clitest::QoltBin());
    ASSERT_TRUE(qolt.Start(args));
    // Real-time duration on the qolt side (the instrument is another process): about a second.
    const RunResult played = qolt.Wait(std::chrono::seconds(30));
    ASSERT_EQ(played.exitCode, 0) << clitest::Describe(played);

    const RunResult end = sim.Wait(std::chrono::seconds(30));
    ASSERT_EQ(end.exitCode, 0) << clitest::Describe(end);
    const std::string summary = end.out.substr(end.out.find('\n') + 1);
    EXPECT_EQ(Query(summary, "(d['ended'], d['packets'] > 3, d['packet_faults'])"), "('close', True, [])")
        << summary;

    const auto rows = clitest::ReadCsv(csv);
    ASSERT_FALSE(rows.empty());
    EXPECT_EQ(rows.back().event, "close");
    double hi = -1e9, lo = 1e9;
    size_t samples = 0;
    for (const auto& r : rows) {
        if (r.isSample) {
            hi = std::max(hi, r.value);
            lo = std::min(lo, r.value);
            ++samples;
        }
    }
    EXPECT_NEAR(hi, 2.5, 0.003);
    EXPECT_NEAR(lo, -2.5, 0.003);
    const clitest::EdfContent e = clitest::ReadEdf(edf);
    ASSERT_EQ(e.openError, 0);
    EXPECT_GE(e.samples.size(), samples);
}

TEST_F(SimProgram, FaultsItIsGivenKeepTheLibraryAway) {
    Child sim;
    ASSERT_TRUE(StartSim(sim, {"--fault", "identify:wrong-token"}));
    std::vector<std::string> args = Where();
    args.insert(args.end(), {"--timeout", "1.5", "info"});
    const RunResult r = clitest::Qolt(args);
    EXPECT_EQ(r.exitCode, 4) << clitest::Describe(r);
    EXPECT_NE(r.err.find("no instrument found within 1.5 s"), std::string::npos) << r.err;
}

TEST_F(SimProgram, RefusesBadCommandLines) {
    struct Case {
        std::vector<std::string> args;
        const char* message;
    };
    const Case cases[] = {
        {{"--fault", "identify:sleepy"}, "--fault identify:sleepy: unknown fault sleepy"},
        {{"--fault", "hello:silent"}, "--fault hello:silent: unknown message hello"},
        {{"--node", "500"}, "--node 500: not a node number 0 to 127"},
        {{"--capture", "x.txt"}, "--capture x.txt: the capture file must end in .edf or .csv"},
        {{"--model", "enhanced", "--serial-form", "older"}, "--model enhanced needs the newer serial form"},
        {{"--loud"}, "unknown option --loud"},
    };
    for (const Case& c : cases) {
        std::vector<std::string> args = {clitest::SimBin()};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const RunResult r = clitest::Run(args, std::chrono::seconds(10));
        EXPECT_EQ(r.exitCode, 2) << clitest::Describe(r);
        EXPECT_EQ(r.err.rfind(std::string("qolt-sim: ") + c.message, 0), 0u) << r.err;
    }
    const RunResult help = clitest::Run({clitest::SimBin(), "--help"});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_NE(help.out.find("Exit codes"), std::string::npos);
    EXPECT_NE(help.out.find("--version"), std::string::npos);
    const RunResult version = clitest::Run({clitest::SimBin(), "--version"});
    EXPECT_EQ(version.exitCode, 0) << clitest::Describe(version);
    EXPECT_EQ(version.out, std::string("qolt-sim, libqolt ") + clitest::ProjectVersion() + "\n");
    EXPECT_EQ(version.err, "");
}

TEST_F(SimProgram, TheCExampleRunsAgainstIt) {
    Child sim;
    const std::string csv = Path("example.csv");
    ASSERT_TRUE(StartSim(sim, {"--exit-on-close", "--capture", csv}));
    const RunResult r =
        clitest::Run({clitest::ExampleBin(), ready_["format"], ready_["lock-dir"]}, std::chrono::seconds(30));
    ASSERT_EQ(r.exitCode, 0) << clitest::Describe(r);
    EXPECT_EQ(
        r.out.rfind("connected: " + ready_["node"] + ", serial KEE2301-170300, hardware 1.2, firmware 5.6\n",
                    0),
        0u)
        << r.out;
    EXPECT_NE(r.out.find("played a 10 Hz sine for 1 s: "), std::string::npos) << r.out;

    const RunResult end = sim.Wait(std::chrono::seconds(20));
    ASSERT_EQ(end.exitCode, 0) << clitest::Describe(end);
    // About a second of a 10 Hz sine of 2.5 in real time.
    size_t samples = 0, crossings = 0;
    double last = 0.0, hi = 0.0;
    for (const auto& row : clitest::ReadCsv(csv)) {
        if (!row.isSample) {
            continue;
        }
        crossings += samples > 0 && (last < 0.0) != (row.value < 0.0) ? 1 : 0;
        last = row.value;
        hi = std::max(hi, row.value);
        ++samples;
    }
    EXPECT_GE(samples, 4500u);
    EXPECT_NEAR(hi, 2.5, 0.003);
    EXPECT_GE(crossings, 18u);
}

// The README's C program is the example file, whole: what a reader copies is what the tests run.
TEST(CExample, IsTheProgramTheReadmeShows) {
    const std::string readme = clitest::ReadFile(clitest::SourcePath("README.md"));
    const size_t open = readme.find("\n```c\n");
    ASSERT_NE(open, std::string::npos) << "no C block in the README";
    const size_t start = open + 6;
    const size_t end = readme.find("\n```\n", start);
    ASSERT_NE(end, std::string::npos);
    EXPECT_EQ(readme.substr(start, end + 1 - start),
              clitest::ReadFile(clitest::SourcePath("examples/play_sine.c")));
    EXPECT_EQ(readme.find("\n```c\n", end), std::string::npos) << "one C program in the README";
}

TEST(CExample, SaysSoWhenNoInstrumentAnswers) {
    qoltsim::TempDir dir("example-test");
    const RunResult r = clitest::Run({clitest::ExampleBin(), dir.Path() + "/ttyNONE%d", dir.Path()},
                                     std::chrono::seconds(30));
    EXPECT_EQ(r.exitCode, 1) << clitest::Describe(r);
    EXPECT_EQ(r.err, "play_sine: no instrument found within 5 s\n");
}

} // namespace
