// Port lock files: exactly four binary bytes with the owner's process id, mode 0600, created exclusively;
// stale owners are replaced, live or unreadable ones block the port.
#include "support/DeviceFixture.h"

#include "device/Platform.h"
#include "device/posix/LockFile.h"

#include <pwd.h>
#include <signal.h>
#include <sys/wait.h>

#include <cstring>

using namespace std::chrono_literals;
using devicetest::Bytes;
using devicetest::DeviceTest;
using devicetest::PidBytes;
using devicetest::ReadFileBytes;
using qoltsim::MessageKind;

namespace {

// A process id that belonged to a process now gone.
pid_t ExitedPid() {
    const pid_t child = fork();
    if (child == 0) {
        _exit(0);
    }
    int status = 0;
    waitpid(child, &status, 0);
    return child;
}

bool ZeroFilled(const char* buffer, std::size_t size) {
    for (std::size_t i = 0; i < size; ++i) {
        if (buffer[i] != '\0') {
            return false;
        }
    }
    return true;
}

class LockFileTest : public DeviceTest {
protected:
    void SetUp() override {
        DeviceTest::SetUp();
        ASSERT_EQ(mkdir(LockDir().c_str(), 0755), 0);
    }
};

TEST_F(LockFileTest, HeldPortHasAFourByteLockWithOurPid) {
    AddInstrument(4);
    ASSERT_TRUE(DoFindDevice(4));
    const auto contents = ReadFileBytes(LockPath(4));
    ASSERT_TRUE(contents.has_value());
    EXPECT_EQ(*contents, PidBytes(getpid()));
    struct stat info {};
    ASSERT_EQ(stat(LockPath(4).c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0600u);
    EXPECT_STREQ(g_szLockFilePath, LockPath(4).c_str());
    EXPECT_NE(g_nLockFile, -1);
}

TEST_F(LockFileTest, CloseRemovesTheLockFile) {
    AddInstrument(4);
    ASSERT_TRUE(DoFindDevice(4));
    DeviceClose();
    EXPECT_FALSE(devicetest::Exists(LockPath(4)));
    EXPECT_TRUE(ZeroFilled(g_szLockFilePath, sizeof g_szLockFilePath));
    EXPECT_EQ(g_nLockFile, -1);
}

TEST_F(LockFileTest, LockFileModeIgnoresTheUmask) {
    AddInstrument(4);
    const mode_t previous = umask(0077 | 0400);
    const bool found = DoFindDevice(4);
    umask(previous);
    ASSERT_TRUE(found);
    struct stat info {};
    ASSERT_EQ(stat(LockPath(4).c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0600u);
}

// Every missing level of the lock directory is made, as for mkdir -p.
TEST_F(LockFileTest, MissingLockDirectoryIsCreated) {
    struct Case {
        const char* levels; // below the test's directory
        const char* made;   // the directory that must hold the lock
    };
    const Case cases[] = {{"/fresh", "/fresh"},
                          {"/a/b/c", "/a/b/c"},
                          {"/d//e/", "/d/e"},
                          {"/f/./g/../h", "/f/h"},
                          {"/lock/deeper", "/lock/deeper"}};
    AddInstrument(1);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.levels);
        const std::string nested = Dir() + c.levels;
        ASSERT_EQ(SetLockDirectory(nested.c_str()), 0);
        ASSERT_TRUE(DoFindDevice(1));
        struct stat info {};
        ASSERT_EQ(stat((Dir() + c.made).c_str(), &info), 0);
        EXPECT_TRUE(S_ISDIR(info.st_mode));
        EXPECT_TRUE(devicetest::Exists(Dir() + c.made + "/kestrane.ACM1.lock"));
        DeviceClose();
    }
}

// The whole session, not just the probe: with missing parent folders it links and plays.
TEST_F(LockFileTest, SessionLinksWithMissingParentFolders) {
    const std::string nested = Dir() + "/x/y/z";
    ASSERT_EQ(SetLockDirectory(nested.c_str()), 0);
    auto& vi = AddInstrument(2);
    const bool linked = Connect(-1, 5000);
    EXPECT_TRUE(linked);
    if (linked) {
        EXPECT_TRUE(devicetest::Exists(nested + "/kestrane.ACM2.lock"));
        EXPECT_EQ(SetOutputFunc(1), 0);
        EXPECT_TRUE(vi.WaitForPackets(2, std::chrono::seconds(5)));
    }
    Close();
    EXPECT_FALSE(devicetest::Exists(nested + "/kestrane.ACM2.lock"));
}

TEST_F(LockFileTest, LockDirectoryThatCannotExistBlocksThePort) {
    const std::string file = Dir() + "/plainfile";
    ASSERT_TRUE(devicetest::WriteFileBytes(file, Bytes{1}));
    ASSERT_EQ(SetLockDirectory((file + "/lock").c_str()), 0);
    auto& vi = AddInstrument(1);
    const std::size_t open = devicetest::OpenDescriptors();
    EXPECT_FALSE(DoFindDevice(1));
    EXPECT_EQ(g_hDevice, -1);
    EXPECT_EQ(devicetest::OpenDescriptors(), open);
    EXPECT_EQ(vi.Snapshot().CountCommands(MessageKind::Identify), 0u);
}

TEST_F(LockFileTest, FailedIdentifyRemovesTheLock) {
    auto& vi = AddInstrument(4);
    vi.SetFault(MessageKind::Identify, qoltsim::Fault(qoltsim::FaultKind::Silent));
    EXPECT_FALSE(DoFindDevice(4));
    EXPECT_FALSE(devicetest::Exists(LockPath(4)));
    EXPECT_EQ(g_nLockFile, -1);
}

// Stale locks are replaced: one of an exited process, and one naming this process while it holds no lock
// (left by an earlier process with the same pid: a container restarted as pid 1, a recycled pid).
TEST_F(LockFileTest, StaleLocksAreReplaced) {
    AddInstrument(2);
    for (const auto& [what, pid] :
         {std::make_pair("exited process", ExitedPid()), std::make_pair("our own pid", getpid())}) {
        SCOPED_TRACE(what);
        ASSERT_TRUE(devicetest::WriteFileBytes(LockPath(2), PidBytes(pid)));
        ASSERT_TRUE(DoFindDevice(2));
        EXPECT_EQ(*ReadFileBytes(LockPath(2)), PidBytes(getpid()));
        EXPECT_STREQ(g_szLockFilePath, LockPath(2).c_str());
        DeviceClose();
        EXPECT_FALSE(devicetest::Exists(LockPath(2)));
    }
}

// Our own pid in another port's lock while we hold this one: one process holds one port, so taking another
// lets go of ours first, and the other port's lock is then stale too.
TEST_F(LockFileTest, OwnPidInAnotherPortsLockWhileHoldingOne) {
    AddInstrument(2);
    AddInstrument(3);
    ASSERT_TRUE(DoFindDevice(2));
    ASSERT_TRUE(devicetest::WriteFileBytes(LockPath(3), PidBytes(getpid())));
    ASSERT_TRUE(DoFindDevice(3));
    EXPECT_FALSE(devicetest::Exists(LockPath(2)));
    EXPECT_EQ(*ReadFileBytes(LockPath(3)), PidBytes(getpid()));
}

// Through the whole session: a lock naming our own pid no longer keeps the link from coming up.
TEST_F(LockFileTest, SessionLinksDespiteALockNamingOurOwnPid) {
    auto& vi = AddInstrument(1);
    ASSERT_TRUE(devicetest::WriteFileBytes(LockPath(1), PidBytes(getpid())));
    EXPECT_TRUE(Connect(-1, 5000));
    EXPECT_GE(vi.Snapshot().CountCommands(MessageKind::Identify), 1u);
    EXPECT_EQ(*ReadFileBytes(LockPath(1)), PidBytes(getpid()));
    Close();
    EXPECT_FALSE(devicetest::Exists(LockPath(1)));
}

struct BlockingLock {
    const char* name;
    Bytes contents;
};

void PrintTo(const BlockingLock& c, std::ostream* os) {
    *os << c.name;
}

class BlockingLockTest : public LockFileTest, public ::testing::WithParamInterface<BlockingLock> {};

// A lock this library did not write, or cannot read fully, is left for a person to remove.
TEST_P(BlockingLockTest, BlocksThePortAndStays) {
    auto& vi = AddInstrument(3);
    ASSERT_TRUE(devicetest::WriteFileBytes(LockPath(3), GetParam().contents));
    const std::size_t open = devicetest::OpenDescriptors();
    EXPECT_FALSE(DoFindDevice(3));
    EXPECT_EQ(*ReadFileBytes(LockPath(3)), GetParam().contents);
    EXPECT_EQ(g_hDevice, -1);
    EXPECT_EQ(g_nLockFile, -1);
    EXPECT_TRUE(ZeroFilled(g_szLockFilePath, sizeof g_szLockFilePath));
    EXPECT_EQ(devicetest::OpenDescriptors(), open);
    EXPECT_EQ(vi.Snapshot().CountCommands(MessageKind::Identify), 0u);
    EXPECT_FALSE(LockDeviceFile(3));
    EXPECT_EQ(*ReadFileBytes(LockPath(3)), GetParam().contents);
}

INSTANTIATE_TEST_SUITE_P(Contents, BlockingLockTest,
                         ::testing::Values(BlockingLock{"TwoBytes", Bytes{0x12, 0x34}},
                                           BlockingLock{"Empty", Bytes{}},
                                           // 0 and -1 would address process groups, never one owner.
                                           BlockingLock{"PidZero", PidBytes(0)},
                                           BlockingLock{"PidMinusOne", PidBytes(-1)},
                                           BlockingLock{"NegativePid", PidBytes(-12345)}),
                         [](const ::testing::TestParamInfo<BlockingLock>& info) { return info.param.name; });

// Two processes: a child holds the port; the parent's probe skips it and leaves the lock alone.
TEST_F(LockFileTest, PortHeldByAnotherProcessIsSkipped) {
    auto& vi = AddInstrument(6);
    int toParent[2];
    int toChild[2];
    ASSERT_EQ(pipe(toParent), 0);
    ASSERT_EQ(pipe(toChild), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        const char held = DoFindDevice(6) ? 'y' : 'n';
        (void)!write(toParent[1], &held, 1);
        char go = 0;
        (void)!read(toChild[0], &go, 1);
        DeviceClose();
        _exit(0);
    }
    char held = 0;
    ASSERT_EQ(read(toParent[0], &held, 1), 1);
    ASSERT_EQ(held, 'y');
    ASSERT_EQ(*ReadFileBytes(LockPath(6)), PidBytes(child));

    EXPECT_FALSE(DoFindDevice(6));
    EXPECT_FALSE(FindDevice(-1, nullptr));
    EXPECT_EQ(*ReadFileBytes(LockPath(6)), PidBytes(child));
    EXPECT_EQ(vi.Snapshot().CountCommands(MessageKind::Identify), 1u); // the child's alone

    const char go = 'g';
    ASSERT_EQ(write(toChild[1], &go, 1), 1);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_FALSE(devicetest::Exists(LockPath(6)));
    for (int fd : {toParent[0], toParent[1], toChild[0], toChild[1]}) {
        close(fd);
    }

    EXPECT_TRUE(DoFindDevice(6));
    EXPECT_EQ(*ReadFileBytes(LockPath(6)), PidBytes(getpid()));
}

// A process that exists but may not be signalled (another user's) still holds its lock.
TEST_F(LockFileTest, OwnerThatMayNotBeSignalledHoldsTheLock) {
    AddInstrument(5);
    if (geteuid() != 0) {
        // Init is always alive and belongs to another user.
        ASSERT_TRUE(devicetest::WriteFileBytes(LockPath(5), PidBytes(1), 0666));
        EXPECT_FALSE(LockDeviceFile(5));
        EXPECT_EQ(*ReadFileBytes(LockPath(5)), PidBytes(1));
        return;
    }
    // As root every process may be signalled: probe from a child that has given up root, against a lock
    // naming this (root) process.
    const passwd* nobody = getpwnam("nobody");
    if (nobody == nullptr) {
        GTEST_SKIP() << "no unprivileged user to probe as";
    }
    ASSERT_EQ(chmod(Dir().c_str(), 0755), 0);
    // Writable for the child, so a lock wrongly judged stale would be removed and taken over.
    ASSERT_EQ(chmod(LockDir().c_str(), 0777), 0);
    ASSERT_TRUE(devicetest::WriteFileBytes(LockPath(5), PidBytes(getpid()), 0666));
    ASSERT_EQ(chmod(LockPath(5).c_str(), 0666), 0);
    const uid_t uid = nobody->pw_uid;
    const gid_t gid = nobody->pw_gid;
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (setgid(gid) != 0 || setuid(uid) != 0) {
            _exit(3);
        }
        // The probe must have reached the owner test: the file is readable and writable for us.
        const int fd = open(LockPath(5).c_str(), O_RDWR);
        if (fd < 0) {
            _exit(4);
        }
        close(fd);
        if (kill(getppid(), 0) == 0 || errno != EPERM) {
            _exit(5);
        }
        _exit(LockDeviceFile(5) ? 1 : 0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "1: lock taken, 3: could not drop root, 4: file not accessible";
    EXPECT_EQ(*ReadFileBytes(LockPath(5)), PidBytes(getpid()));
}

} // namespace
