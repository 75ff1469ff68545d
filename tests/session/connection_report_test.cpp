// Why a connection attempt found nothing, port by port (GetConnectionReport), against virtual instruments
// and nodes that are not instruments.
#include "session/SessionTestSupport.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>

using namespace sessiontest;
using qoltsim::FaultKind;
using qoltsim::MessageKind;

namespace {

std::string Report() {
    char text[4096];
    const int length = GetConnectionReport(text, sizeof text);
    EXPECT_LT(length, static_cast<int>(sizeof text));
    return std::string(text, static_cast<size_t>(std::max(0, length)));
}

class ConnectionReport : public SessionFixture {
protected:
    // Connect, which fails; the last attempt's report is there once Close has joined the connection thread.
    std::string FailedConnect(int port, unsigned waitMs = 400) {
        EXPECT_FALSE(Connect(port, waitMs));
        Close();
        return Report();
    }

    void WriteLock(int port, std::int32_t pid) {
        const int fd = open(LockFile(port).c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(write(fd, &pid, sizeof pid), static_cast<ssize_t>(sizeof pid));
        close(fd);
    }
};

TEST_F(ConnectionReport, EveryReasonOnePortEach) {
    // 0: an instrument whose identify reply is wrong; 1: one that does not answer it; 2: a plain file;
    // 3: an instrument whose port lock a running process holds; 4: one that identifies but whose
    // serial text never comes; 5 and above: no node.
    AddInstrument(OnNode(0)).SetFault(MessageKind::Identify, qoltsim::Fault(FaultKind::WrongToken));
    AddInstrument(OnNode(1)).SetFault(MessageKind::Identify, qoltsim::Fault(FaultKind::Silent));
    std::ofstream(NodePath(2)) << "not a port";
    AddInstrument(OnNode(3));
    WriteLock(3, static_cast<std::int32_t>(getppid()));
    AddInstrument(OnNode(4)).SetFault(MessageKind::SerialQuery, qoltsim::Fault(FaultKind::Silent));

    // Long enough for one whole attempt (the silent ones wait out their replies).
    const std::string report = FailedConnect(-1, 2500);
    const std::string expected =
        NodePath(0) + ": not the instrument: the identify query got 8 bytes (4B 54 52 59 2D 56 49 31)\n" +
        NodePath(1) + ": no reply to the identify query\n" + NodePath(2) + ": not a terminal (" +
        std::strerror(ENOTTY) + ")\n" + NodePath(3) + ": locked by process " + std::to_string(getppid()) +
        ", which is running\n" + NodePath(4) + ": identified, but the identification exchange failed\n" +
        NodePath(5) + " to " + NodePath(127) + ": no such device node (123 nodes between them included)\n";
    EXPECT_EQ(report, expected);
}

TEST_F(ConnectionReport, ANamedPortThatIsMissing) {
    EXPECT_EQ(FailedConnect(7), NodePath(7) + ": no such device node\n");
}

TEST_F(ConnectionReport, ALockOfAProcessThatEndedIsTakenOver) {
    AddInstrument(OnNode(0));
    // A process id that no running process has.
    WriteLock(0, 0x7FFFFFF0);
    ASSERT_TRUE(Connect(0, 5000));
    EXPECT_EQ(Report(), NodePath(0) + ": connected\n");
}

TEST_F(ConnectionReport, AFoundInstrumentEndsTheListWithConnected) {
    AddInstrument(OnNode(1));
    std::ofstream(NodePath(0)) << "not a port";
    ASSERT_TRUE(Connect(-1, 5000));
    // The attempt that found it: the ports before it, and it.
    const std::string report = Report();
    EXPECT_EQ(report.rfind(NodePath(0) + ": not a terminal", 0), 0u) << report;
    EXPECT_NE(report.find(NodePath(1) + ": connected\n"), std::string::npos) << report;
    // Kept after Close, until the next attempt ends.
    Close();
    EXPECT_EQ(Report(), report);
}

TEST_F(ConnectionReport, NodesThatCannotBeOpened) {
    if (geteuid() == 0) {
        GTEST_SKIP() << "root opens any node; tests/cli covers this as an unprivileged user";
    }
    std::ofstream(NodePath(0)) << "";
    ASSERT_EQ(chmod(NodePath(0).c_str(), 0), 0);
    EXPECT_EQ(FailedConnect(0), NodePath(0) + ": permission denied (" + std::strerror(EACCES) + ")\n");
}

TEST(ConnectionReportBuffer, CutToFitTerminatedAndTheFullLengthReturned) {
    qoltsim::TempDir nodes{"qolt-report-nodes"};
    ASSERT_EQ(SetDeviceNodeFormat((nodes.Path() + "/ttyACM%d").c_str()), 0);
    ASSERT_EQ(SetLockDirectory(nodes.Path().c_str()), 0);
    ASSERT_FALSE(Connect(3, 300));
    Close();
    const std::string full = nodes.Path() + "/ttyACM3: no such device node\n";
    char small[10];
    std::memset(small, 'x', sizeof small);
    EXPECT_EQ(GetConnectionReport(small, sizeof small), static_cast<int>(full.size()));
    EXPECT_EQ(std::string(small), full.substr(0, sizeof small - 1));
    EXPECT_EQ(GetConnectionReport(nullptr, 0), static_cast<int>(full.size()));
    char one[1] = {'x'};
    EXPECT_EQ(GetConnectionReport(one, 0), static_cast<int>(full.size()));
    EXPECT_EQ(one[0], 'x');
    EXPECT_EQ(GetConnectionReport(one, 1), static_cast<int>(full.size()));
    EXPECT_EQ(one[0], '\0');
}

TEST(ConnectionReportBuffer, EmptyBeforeAnyAttempt) {
    char text[16] = "unchanged";
    EXPECT_EQ(GetConnectionReport(text, sizeof text), 0);
    EXPECT_STREQ(text, "");
}

} // namespace
