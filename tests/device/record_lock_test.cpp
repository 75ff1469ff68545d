// The fcntl record lock that claims an open port against other processes (the macOS build's second claim,
// plain POSIX): exclusive between processes, released by its holder or by the holder's end.
#include "device/posix/LockFile.h"
#include "support/PortPair.h"
#include "support/ProcessLock.h"

using porttest::LockHolder;
using porttest::OtherProcessCanLock;
using porttest::PortPair;

namespace {

class RecordLockTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_dir.Valid());
        ASSERT_TRUE(m_pair.Open(m_dir.Path(), "cu.usbmodem2"));
        m_port = m_pair.OpenPort();
        ASSERT_GE(m_port, 0);
    }
    void TearDown() override {
        if (m_port >= 0) {
            close(m_port);
        }
    }

    qoltsim::TempDir m_dir{"qolt-recordlock"};
    PortPair m_pair;
    int m_port = -1;
};

TEST_F(RecordLockTest, HeldLockKeepsAnotherProcessOutUntilReleased) {
    ASSERT_TRUE(OtherProcessCanLock(m_pair.Path()));
    ASSERT_TRUE(TakeRecordLock(m_port));
    EXPECT_FALSE(OtherProcessCanLock(m_pair.Path()));
    ReleaseRecordLock(m_port);
    EXPECT_TRUE(OtherProcessCanLock(m_pair.Path()));
}

TEST_F(RecordLockTest, LockHeldByAnotherProcessIsRefusedUntilItLetsGo) {
    LockHolder holder;
    ASSERT_TRUE(holder.Start(m_pair.Path()));
    EXPECT_FALSE(TakeRecordLock(m_port));
    holder.Release(); // the holder exits: its locks go with it
    EXPECT_TRUE(TakeRecordLock(m_port));
    ReleaseRecordLock(m_port);
}

// The lock is on the port, not on one descriptor of it: another process's own descriptor does not help.
TEST_F(RecordLockTest, LockOnAPlainFileToo) {
    const std::string file = m_dir.Path() + "/plain";
    const int fd = open(file.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    ASSERT_GE(fd, 0);
    ASSERT_TRUE(TakeRecordLock(fd));
    EXPECT_FALSE(OtherProcessCanLock(file));
    close(fd); // closing the holder's descriptor ends its lock
    EXPECT_TRUE(OtherProcessCanLock(file));
}

} // namespace
