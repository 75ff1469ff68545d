// Several processes and one set of ports: the lock files decide who holds a port, a holder that dies
// leaves a lock the next one replaces, a live holder of another user is never dispossessed, and processes
// on their own instruments do not disturb each other. The processes are `qolt play` runs; the
// instruments are virtual ones in this test's process.
#include "CliTestSupport.h"

#include "qolt_api.h"
#include "session/SessionTestSupport.h"

#include <pwd.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstring>
#include <fstream>
#include <memory>
#include <optional>
#include <thread>

using namespace sessiontest;
using clitest::Child;
using clitest::RunResult;
using qoltsim::MessageKind;

namespace {

// A failed connection attempt pauses 1 s before the next; one identification takes well under 0.5 s.
constexpr auto kTakeOverBound = 1500ms;
// Scheduling slack on a 2-core machine shared with other builds (and qolt's own start-up).
constexpr auto kMargin = 3s;

long long MsSince(Clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

// The pid a lock file holds, or nothing.
std::optional<int32_t> LockOwner(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    int32_t pid = 0;
    if (!in.read(reinterpret_cast<char*>(&pid), sizeof pid))
        return std::nullopt;
    return pid;
}

class Processes : public SessionFixture {
protected:
    // `qolt play sine` on node `port` for `seconds`, searching for the instrument up to `timeout` s.
    std::unique_ptr<Child> Play(int port, double seconds, int timeout, double amplitude = 100.0,
                                double frequency = 10.0) {
        auto child = std::make_unique<Child>();
        const std::vector<std::string> args{clitest::QoltBin(),
                                            "play",
                                            "sine",
                                            "--port",
                                            std::to_string(port),
                                            "--node-format",
                                            nodes_.Path() + "/ttyACM%d",
                                            "--lock-dir",
                                            locks_.Path(),
                                            "--timeout",
                                            std::to_string(timeout),
                                            "--duration",
                                            std::to_string(seconds),
                                            "--amplitude",
                                            std::to_string(amplitude),
                                            "--frequency",
                                            std::to_string(frequency),
                                            "--json"};
        EXPECT_TRUE(child->Start(args));
        return child;
    }

    // Waits until the instrument has seen `count` identifications end and the lock names one of the
    // given processes; returns that pid (0 when the time ran out).
    pid_t WaitForHolder(const qoltsim::VirtualInstrument& vi, size_t count, std::vector<pid_t> pids,
                        std::chrono::milliseconds timeout) {
        pid_t holder = 0;
        Eventually(
            [&] {
                if (vi.Snapshot().CountCommands(MessageKind::EndOfIdentification) < count)
                    return false;
                const auto owner = LockOwner(LockFile(0));
                for (pid_t p : pids)
                    if (owner && *owner == p)
                        holder = p;
                return holder != 0;
            },
            timeout);
        return holder;
    }
};

// Two processes start for one port at once: exactly one links; the other keeps searching and links within
// kTakeOverBound of the first one's exit.
TEST_F(Processes, TwoRaceForOnePortOneWinsTheOtherTakesOverWhenItEnds) {
    qoltsim::Config config;
    config.pacing = qoltsim::Pacing::Fast;
    auto& vi = AddInstrument(config);
    auto a = Play(0, 3.0, 30);
    auto b = Play(0, 1.0, 30);

    const pid_t winner = WaitForHolder(vi, 1, {a->Pid(), b->Pid()}, kWait);
    ASSERT_NE(winner, 0);
    Child& first = winner == a->Pid() ? *a : *b;
    Child& second = winner == a->Pid() ? *b : *a;
    // While the winner plays, the other never gets through the identification.
    std::this_thread::sleep_for(700ms);
    EXPECT_EQ(vi.Snapshot().CountCommands(MessageKind::EndOfIdentification), 1u);
    EXPECT_EQ(LockOwner(LockFile(0)), winner);

    const RunResult r1 = first.Wait(kWait + 30s);
    const auto ended = Clock::now();
    EXPECT_EQ(r1.exitCode, 0) << clitest::Describe(r1);
    const pid_t next = WaitForHolder(vi, 2, {second.Pid()}, kTakeOverBound + kMargin);
    const long long took = MsSince(ended);
    EXPECT_EQ(next, second.Pid()) << "no take-over within " << took << " ms";
    std::printf("taken over %lld ms after the first process ended\n", took);
    const RunResult r2 = second.Wait(kWait + 30s);
    EXPECT_EQ(r2.exitCode, 0) << clitest::Describe(r2);
    EXPECT_FALSE(LockOwner(LockFile(0)).has_value());
    EXPECT_EQ(vi.Snapshot().CountCommands(MessageKind::EndOfIdentification), 2u);
}

// The holder is killed: its lock stays behind, naming a process that is gone; the next process replaces
// it and links within one identification (no failed attempt before it).
TEST_F(Processes, AKilledHoldersLockIsReplacedByTheNext) {
    qoltsim::Config config;
    config.pacing = qoltsim::Pacing::Fast;
    auto& vi = AddInstrument(config);
    auto holder = Play(0, 60.0, 30);
    ASSERT_EQ(WaitForHolder(vi, 1, {holder->Pid()}, kWait), holder->Pid());
    const pid_t dead = holder->Pid();
    holder->Signal(SIGKILL);
    const RunResult killed = holder->Wait(kWait);
    EXPECT_EQ(killed.signal, SIGKILL);
    ASSERT_EQ(LockOwner(LockFile(0)), dead);

    const auto start = Clock::now();
    auto next = Play(0, 1.0, 30);
    ASSERT_EQ(WaitForHolder(vi, 2, {next->Pid()}, kWait), next->Pid());
    std::printf("linked %lld ms after the start of the next process\n", MsSince(start));
    const RunResult r = next->Wait(kWait + 30s);
    EXPECT_EQ(r.exitCode, 0) << clitest::Describe(r);
    EXPECT_FALSE(LockOwner(LockFile(0)).has_value());
}

// A lock naming a live process of another user is never removed, however long the search goes on; once
// that process has ended the lock is stale and the link comes up within kTakeOverBound.
TEST_F(Processes, ALiveOtherUsersLockIsNeverRemoved) {
    AddInstrument();
    pid_t owner = 1; // without root: init, alive and another user's
    pid_t child = -1;
    if (geteuid() == 0) {
        const passwd* nobody = getpwnam("nobody");
        if (nobody == nullptr)
            GTEST_SKIP() << "no unprivileged user to own the lock";
        const uid_t uid = nobody->pw_uid;
        const gid_t gid = nobody->pw_gid;
        child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            if (setgid(gid) != 0 || setuid(uid) != 0)
                _exit(3);
            pause();
            _exit(0);
        }
        owner = child;
        // Running as nobody before the lock names it.
        ASSERT_TRUE(Eventually([&] {
            struct stat st;
            const std::string proc = "/proc/" + std::to_string(child);
            return stat(proc.c_str(), &st) == 0 && st.st_uid == uid;
        }));
    }
    ASSERT_EQ(mkdir(locks_.Path().c_str(), 0755) == 0 || errno == EEXIST, true);
    {
        std::ofstream out(LockFile(0), std::ios::binary);
        out.write(reinterpret_cast<const char*>(&owner), sizeof owner);
    }
    ASSERT_TRUE(Init(RecordA));
    std::this_thread::sleep_for(3 * kTakeOverBound); // several attempts
    EXPECT_EQ(ListenerA().Count(), 0u);
    EXPECT_EQ(LockOwner(LockFile(0)), owner);
    if (child < 0)
        return;

    kill(child, SIGKILL);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    const auto ended = Clock::now();
    ASSERT_TRUE(ListenerA().WaitForCount(1, kTakeOverBound + kMargin));
    std::printf("linked %lld ms after the owner ended\n", MsSince(ended));
    EXPECT_EQ(LockOwner(LockFile(0)), getpid());
}

// Three processes, each on its own instrument with its own sine, at the same time: every instrument sees
// one identification, well-formed packets only, and its own process's amplitude and frequency.
TEST_F(Processes, ThreeOnThreeInstrumentsEachStreamItsOwnSignal) {
    struct Run {
        double amplitude, frequency;
    };
    const Run runs[] = {{400.0, 5.0}, {800.0, 11.0}, {1600.0, 23.0}};
    std::vector<qoltsim::VirtualInstrument*> vis;
    for (int i = 0; i < 3; ++i) {
        qoltsim::Config config = OnNode(i);
        config.pacing = qoltsim::Pacing::Fast;
        config.maxSamples = 300000; // a minute of output is plenty, and keeps the recording small
        vis.push_back(&AddInstrument(config));
    }
    std::vector<std::unique_ptr<Child>> children;
    for (int i = 0; i < 3; ++i)
        children.push_back(Play(i, 3.0, 30, runs[i].amplitude, runs[i].frequency));
    for (auto& c : children) {
        const RunResult r = c->Wait(kWait + 30s);
        EXPECT_EQ(r.exitCode, 0) << clitest::Describe(r);
    }

    double peaks[3] = {};
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        const auto rec = vis[i]->Snapshot();
        EXPECT_EQ(rec.CountCommands(MessageKind::EndOfIdentification), 1u);
        EXPECT_GT(rec.totalPackets, 10u);
        EXPECT_TRUE(rec.violations.empty()) << qoltsim::ViolationKindName(rec.violations.front().kind);
        // Skip the first second of each stream (the output may start from rest), then count the sine's
        // upward zero crossings over the played time.
        const auto& s = rec.samples;
        ASSERT_GT(s.size(), 20000u);
        double peak = 0.0, seconds = 0.0;
        int crossings = 0;
        for (size_t k = 5000; k + 1 < s.size(); ++k) {
            peak = std::max(peak, std::abs(s[k].value));
            seconds += s[k].Duration();
            crossings += s[k].value < 0.0 && s[k + 1].value >= 0.0 ? 1 : 0;
        }
        const double hz = crossings / seconds;
        std::printf("instrument %d: %.2f Hz, peak %.4f over %.1f s\n", i, hz, peak, seconds);
        EXPECT_NEAR(hz, runs[i].frequency, runs[i].frequency * 0.05);
        peaks[i] = peak;
    }
    // Amplitudes in the ratio the processes asked for (1 : 2 : 4), whatever the output's scale.
    EXPECT_NEAR(peaks[1] / peaks[0], 2.0, 0.1);
    EXPECT_NEAR(peaks[2] / peaks[0], 4.0, 0.2);
}

} // namespace
