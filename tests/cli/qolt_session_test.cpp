// `qolt list` and `qolt info`, finding nothing, stopping by signal, and a virtual instrument unplugged and
// plugged back in the middle of a run.
#include "QoltRun.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <sys/stat.h>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>

namespace {

using clitest::CaptureRun;
using clitest::Qolt;
using clitest::RunResult;

class Session : public clitest::QoltRunTest {};

TEST_F(Session, InfoTellsWhoTheInstrumentIs) {
    const RunResult plain = Qolt({"--virtual", "info"});
    ASSERT_EQ(plain.exitCode, 0) << clitest::Describe(plain);
    EXPECT_NE(plain.out.find("serial:     KEE2301-170300"), std::string::npos) << plain.out;
    EXPECT_NE(plain.out.find("firmware:   5.6"), std::string::npos) << plain.out;
    EXPECT_NE(plain.out.find("converter:  2048 (0x0800)"), std::string::npos) << plain.out;
    EXPECT_EQ(plain.err, "") << "no status line when stderr is not a terminal";

    const RunResult j = Qolt({"--virtual", "--model", "enhanced", "--firmware", "5.4", "info", "--json"});
    ASSERT_EQ(j.exitCode, 0) << clitest::Describe(j);
    EXPECT_EQ(Query(j.out, "(d['model'], d['firmware'], d['hardware'], d['converter'], d['library'])"),
              "('enhanced', '5.4', '1.2', 2048, '1.7.7')");
    EXPECT_EQ(Query(j.out, "d['serial'] + ' ' + str(d['port'].endswith('/ttyACM0'))"), "KEE2302-170300 True");
}

TEST_F(Session, ListFindsTheInstrumentOnItsPort) {
    const RunResult r = Qolt({"--virtual", "--port", "5", "list", "--json"});
    ASSERT_EQ(r.exitCode, 0) << clitest::Describe(r);
    EXPECT_EQ(Query(r.out, "len(d['instruments'])"), "1");
    EXPECT_EQ(Query(r.out, "d['instruments'][0]['port'].endswith('/ttyACM5')"), "True") << r.out;
    EXPECT_EQ(Query(r.out, "d['instruments'][0]['serial']"), "KEE2301-170300");

    const RunResult plain = Qolt({"--virtual", "list"});
    ASSERT_EQ(plain.exitCode, 0) << clitest::Describe(plain);
    EXPECT_NE(plain.out.find("PORT"), std::string::npos);
    EXPECT_NE(plain.out.find("KEE2301-170300"), std::string::npos) << plain.out;
}

TEST_F(Session, NothingFoundWithinTheTimeOut) {
    const std::string format = Path("ttyNONE%d");
    const RunResult info = Qolt({"--node-format", format, "--timeout", "0.5", "info"});
    EXPECT_EQ(info.exitCode, 4) << clitest::Describe(info);
    // The library's report of the attempt: no node exists.
    EXPECT_EQ(info.err, "qolt: no instrument found within 0.5 s\n  " + Path("ttyNONE0") + " to " +
                            Path("ttyNONE127") + ": no such device node (128 nodes between them included)\n");

    const RunResult play = Qolt({"--node-format", format, "--timeout", "0.5", "--port", "2", "play", "sine"});
    EXPECT_EQ(play.exitCode, 4) << clitest::Describe(play);
    EXPECT_EQ(play.err, "qolt: no instrument found within 0.5 s on " + Path("ttyNONE2") + "\n  " +
                            Path("ttyNONE2") + ": no such device node\n");

    const RunResult list = Qolt({"--node-format", format, "--timeout", "0.5", "list", "--json"});
    EXPECT_EQ(list.exitCode, 4) << clitest::Describe(list);
    EXPECT_EQ(Query(list.out, "d['error']['exit_code']"), "4") << list.out;
}

// A node nobody may open (mode 0000), wherever the test's directory and the build live. Root passes every
// permission check through its capabilities, so as root the run keeps its uid (the build's files stay
// readable even under a 0700 home) and goes without any capability.
TEST_F(Session, NodesThatCannotBeOpenedAreNamed) {
    const std::string node = Path("ttyLOCKED0");
    clitest::WriteFile(node, "");
    ASSERT_EQ(chmod(node.c_str(), 0), 0);
    std::vector<std::string> args;
    if (geteuid() == 0) {
        if (access("/usr/bin/setpriv", X_OK) != 0) {
            GTEST_SKIP() << "root opens any node, and setpriv (util-linux) is not there to drop the "
                            "capabilities that let it";
        }
        args = {"/usr/bin/setpriv", "--inh-caps=-all", "--ambient-caps=-all", "--bounding-set=-all"};
        std::vector<std::string> probe = args;
        probe.insert(probe.end(), {"/bin/sh", "-c", "exec 3<>\"$0\"", node});
        const RunResult opened = clitest::Run(probe);
        if (opened.exitCode == 0 || opened.err.find("ermission denied") == std::string::npos) {
            GTEST_SKIP() << "root without capabilities still opens a 0000 node here, or cannot run: "
                         << clitest::Describe(opened);
        }
    } else if (access(node.c_str(), R_OK | W_OK) == 0 || errno != EACCES) {
        GTEST_SKIP() << "this user opens a 0000 node (a capability?), so no node refuses it";
    }
    args.insert(args.end(), {clitest::QoltBin(), "--node-format", Path("ttyLOCKED%d"), "--lock-dir",
                             dir_.Path(), "--timeout", "0.5", "info"});
    const RunResult r = clitest::Run(args);
    EXPECT_EQ(r.exitCode, 4) << clitest::Describe(r);
    EXPECT_EQ(r.err, "qolt: no instrument found within 0.5 s\n  " + Path("ttyLOCKED0") +
                         ": permission denied (" + std::strerror(EACCES) +
                         "): join the dialout group or install the udev rules, see README\n  " +
                         Path("ttyLOCKED1") + " to " + Path("ttyLOCKED127") +
                         ": no such device node (127 nodes between them included)\n");

    // `list` names each node with the library's reason, a lock held by a running process too.
    clitest::WriteFile(Path("ttyLOCKED1"), "");
    ASSERT_EQ(chmod(Path("ttyLOCKED1").c_str(), 0666), 0);
    const std::int32_t holder = static_cast<std::int32_t>(getpid());
    std::string lock(reinterpret_cast<const char*>(&holder), sizeof holder);
    clitest::WriteFile(dir_.Path() + "/kestrane.ACM1.lock", lock);
    ASSERT_EQ(chmod((dir_.Path() + "/kestrane.ACM1.lock").c_str(), 0644), 0);
    args.back() = "list";
    const RunResult list = clitest::Run(args);
    EXPECT_EQ(list.exitCode, 4) << clitest::Describe(list);
    EXPECT_EQ(list.err, "qolt: " + Path("ttyLOCKED0") + ": permission denied (" + std::strerror(EACCES) +
                            "): join the dialout group or install the udev rules, see README\n" +
                            "qolt: " + Path("ttyLOCKED1") + ": locked by process " + std::to_string(holder) +
                            ", which is running\nqolt: no instrument found within 0.5 s\n");
}

// A pseudo-terminal for a child's stderr (the live status line shows only on a terminal). Everything the
// child writes is read, so that it never waits to write its status.
class StatusTerminal {
public:
    StatusTerminal() {
        master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (master_ >= 0 && grantpt(master_) == 0 && unlockpt(master_) == 0) {
            slave_ = open(ptsname(master_), O_RDWR | O_NOCTTY | O_CLOEXEC);
        }
    }
    ~StatusTerminal() { Close(); }
    bool IsOpen() const { return master_ >= 0 && slave_ >= 0; }
    int Slave() const { return slave_; }
    // Once the child has it: the terminal then closes when the child goes.
    void CloseSlave() {
        if (slave_ >= 0) {
            close(slave_);
            slave_ = -1;
        }
    }
    // Both ends: a child still writing its status then gets an error instead of waiting for room.
    void Close() {
        CloseSlave();
        if (master_ >= 0) {
            close(master_);
            master_ = -1;
        }
    }
    // Waits up to 100 ms for output and appends it. False once the child has gone and closed the terminal.
    bool ReadTurn() {
        pollfd p{master_, POLLIN, 0};
        if (poll(&p, 1, 100) > 0) {
            char buffer[4096];
            const ssize_t n = read(master_, buffer, sizeof buffer);
            if (n <= 0) {
                return false;
            }
            text_.append(buffer, static_cast<size_t>(n));
        }
        return true;
    }
    const std::string& Text() const { return text_; }

private:
    int master_ = -1;
    int slave_ = -1;
    std::string text_;
};

// The seconds played that the live status line shows last (-1 before any), from what the terminal has had.
double LastStatusSeconds(const std::string& terminal) {
    const size_t line = terminal.rfind('\r');
    if (line == std::string::npos) {
        return -1.0;
    }
    char* end = nullptr;
    const double seconds = std::strtod(terminal.c_str() + line + 1, &end);
    return end != terminal.c_str() + line + 1 && *end == ' ' ? seconds : -1.0;
}

TEST_F(Session, ASignalEndsTheRunThroughCloseAndStillWritesTheCapture) {
    for (int sig : {SIGINT, SIGTERM}) {
        const std::string csv = Path("stopped" + std::to_string(sig) + ".csv");
        // The status line on a terminal tells how far the output has played; how soon it starts depends on
        // the machine (an emulator, a sanitizer, a loaded host), so no fixed pause can stand for it.
        StatusTerminal terminal;
        ASSERT_TRUE(terminal.IsOpen());
        clitest::Child child;
        ASSERT_TRUE(child.Start({clitest::QoltBin(), "--virtual", "play", "sine", "--amplitude", "1000",
                                 "--json", "--capture", csv},
                                terminal.Slave()));
        terminal.CloseSlave();
        // Real-time pacing: let it play a little, then ask it to stop.
        bool signalled = false;
        const auto started = std::chrono::steady_clock::now();
        for (;;) {
            const auto waited = std::chrono::steady_clock::now() - started;
            if (!signalled &&
                (LastStatusSeconds(terminal.Text()) >= 0.7 || waited > std::chrono::seconds(20))) {
                child.Signal(sig);
                signalled = true;
            }
            if (!terminal.ReadTurn() || waited > std::chrono::seconds(40)) {
                break; // the child has gone, or Wait ends it
            }
        }
        terminal.Close();
        const RunResult r = child.Wait(std::chrono::seconds(20));
        ASSERT_TRUE(signalled) << "the run ended before it was asked to stop: " << clitest::Describe(r);
        ASSERT_EQ(r.exitCode, 0) << clitest::Describe(r) << terminal.Text();
        EXPECT_EQ(Query(r.out, "(d['ended'], d['signal'])"),
                  std::string("('stopped', '") + (sig == SIGINT ? "SIGINT" : "SIGTERM") + "')")
            << r.out;
        EXPECT_EQ(Query(r.out, "d['capture']['seconds'] > 0.5"), "True") << r.out;
        const auto rows = clitest::ReadCsv(csv);
        ASSERT_FALSE(rows.empty());
        // Close told the instrument: the output went off, then the close command.
        EXPECT_EQ(rows.back().event, "close");
    }
}

TEST_F(Session, LiveStatusOnlyOnATerminal) {
    // stderr a pipe: nothing but errors.
    const RunResult piped = Qolt({"--virtual", "play", "sine", "--duration", "0.7"});
    ASSERT_EQ(piped.exitCode, 0) << clitest::Describe(piped);
    EXPECT_EQ(piped.err, "");
    EXPECT_EQ(piped.out.rfind("played sine for ", 0), 0u) << piped.out;

    // stderr a terminal: one line, rewritten in place, cleared at the end.
    StatusTerminal status;
    ASSERT_TRUE(status.IsOpen());
    clitest::Child child;
    ASSERT_TRUE(
        child.Start({clitest::QoltBin(), "--virtual", "play", "sine", "--frequency", "3", "--duration", "1"},
                    status.Slave()));
    status.CloseSlave();
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (status.ReadTurn() && std::chrono::steady_clock::now() <= deadline) {
    }
    const RunResult r = child.Wait(std::chrono::seconds(20));
    const std::string& terminal = status.Text();
    ASSERT_EQ(r.exitCode, 0) << clitest::Describe(r) << terminal;
    EXPECT_NE(terminal.find("/1.0 s  sine  "), std::string::npos) << terminal;
    EXPECT_NE(terminal.find(" samples sent\033[K"), std::string::npos) << terminal;
    EXPECT_EQ(terminal.find('\n'), std::string::npos) << "one line, rewritten";
    EXPECT_GE(terminal.size(), 7u);
    EXPECT_EQ(terminal.substr(terminal.size() - 4), "\r\033[K") << "cleared at the end";
}

TEST_F(Session, AReplugGoesOnWithTheSameSignal) {
    // The library notices a node that stays away through its monitor's re-checks (about 1.5 s after its
    // 1.2 s poll); 3 s away is noticed for sure.
    const CaptureRun run =
        RunWithCaptures({"--virtual", "--fast", "play", "sine", "--amplitude", "1000", "--frequency", "2",
                         "--duration", "3", "--unplug-after-packets", "3", "--replug-after", "3000"});
    CheckCaptures(run);
    if (HasFatalFailure()) {
        return;
    }
    EXPECT_EQ(Query(run.result.out, "(d['link_losses'], d['link_returns'], d['ended'])"),
              "(1, 1, 'duration')");
    // Before and after the replug: a 2 Hz sine of 2.5.
    ASSERT_EQ(run.samples.size(), 15000u);
    for (size_t from : {size_t{0}, size_t{10000}}) {
        const std::vector<double> part(run.samples.begin() + static_cast<long>(from),
                                       run.samples.begin() + static_cast<long>(from + 5000));
        EXPECT_NEAR(clitest::MaxOf(part), 2.5, 0.01) << from;
        EXPECT_NEAR(clitest::MinOf(part), -2.5, 0.01) << from;
    }
}

} // namespace
