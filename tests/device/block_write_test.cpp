// Writes in 64-byte blocks paced by the port's readiness (the macOS build's port writes), against a
// pseudo-terminal: padding, whole requests, waiting for room, time-outs, write errors, high descriptors.
#include "device/posix/BlockWrite.h"
#include "support/PortPair.h"

#include <sys/resource.h>
#include <sys/select.h>

#include <cerrno>
#include <thread>

using namespace std::chrono_literals;
using porttest::Bytes;
using porttest::Counting;
using porttest::PortPair;

namespace {

class BlockWriteTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_dir.Valid());
        ASSERT_TRUE(m_pair.Open(m_dir.Path(), "cu.usbmodem1"));
        m_port = m_pair.OpenPort();
        ASSERT_GE(m_port, 0);
    }
    void TearDown() override {
        if (m_port >= 0) {
            close(m_port);
        }
    }

    // Reads and throws away what reaches the instrument after `delay`, until stopped.
    std::thread DrainLater(std::chrono::milliseconds delay) {
        return std::thread([this, delay] {
            std::this_thread::sleep_for(delay);
            while (!m_stopDrain) {
                m_pair.Receive(1u << 20, 20ms, 0ms);
            }
        });
    }

    qoltsim::TempDir m_dir{"qolt-blockwrite"};
    PortPair m_pair;
    int m_port = -1;
    std::atomic<bool> m_stopDrain{false};
};

TEST_F(BlockWriteTest, ShortRequestGoesOutAsOneZeroFilledBlock) {
    for (int length : {1, 5, 63}) {
        SCOPED_TRACE(length);
        const Bytes data = Counting(static_cast<std::size_t>(length));
        const BlockWriteResult result = WriteInBlocks(m_port, data.data(), length, 200, false);
        EXPECT_EQ(result.end, BlockWriteEnd::Done);
        EXPECT_EQ(result.sent, length);
        Bytes expected = data;
        expected.resize(kPortWriteBlock, 0);
        EXPECT_EQ(m_pair.Receive(kPortWriteBlock, 1000ms), expected);
    }
}

TEST_F(BlockWriteTest, RequestOfABlockOrMoreGoesOutUnpaddedAndWhole) {
    for (int length : {64, 100, 3200}) {
        SCOPED_TRACE(length);
        const Bytes data = Counting(static_cast<std::size_t>(length));
        const BlockWriteResult result = WriteInBlocks(m_port, data.data(), length, 200, false);
        EXPECT_EQ(result.end, BlockWriteEnd::Done);
        EXPECT_EQ(result.sent, length);
        EXPECT_EQ(m_pair.Receive(data.size(), 2000ms), data);
    }
}

TEST_F(BlockWriteTest, FullPortWaitsForRoomAndSendsEverythingOnceItIsRead) {
    PortPair::Fill(m_port);
    std::thread drain = DrainLater(100ms);
    const Bytes data = Counting(3200);
    // A bounded wait that outlasts the reader's delay, and one without limit.
    for (int wait : {5000, -1}) {
        SCOPED_TRACE(wait);
        const BlockWriteResult result = WriteInBlocks(m_port, data.data(), 3200, wait, false);
        EXPECT_EQ(result.end, BlockWriteEnd::Done);
        EXPECT_EQ(result.sent, 3200);
    }
    m_stopDrain = true;
    drain.join();
}

TEST_F(BlockWriteTest, PortThatTakesNothingEndsTheWriteWithWhatWentOut) {
    PortPair::Fill(m_port);
    const Bytes data = Counting(3200);
    for (bool stalled : {false, true}) {
        SCOPED_TRACE(stalled);
        const BlockWriteResult result = WriteInBlocks(m_port, data.data(), 3200, 200, stalled);
        EXPECT_EQ(result.end, BlockWriteEnd::TimedOut);
        EXPECT_EQ(result.sent, 0);
    }
}

TEST_F(BlockWriteTest, WriteOnAPortWhoseDeviceWentFails) {
    m_pair.Unplug();
    const Bytes data = Counting(100);
    for (int length : {1, 100}) {
        SCOPED_TRACE(length);
        const BlockWriteResult result = WriteInBlocks(m_port, data.data(), length, 200, false);
        EXPECT_EQ(result.end, BlockWriteEnd::Failed);
        EXPECT_NE(result.error, 0);
        EXPECT_EQ(result.sent, 0);
    }
}

// poll() has no limit on the descriptor's number; an fd_set would be written past its end.
TEST_F(BlockWriteTest, DescriptorAboveTheSelectLimitIsWrittenToo) {
    rlimit limit{};
    ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &limit), 0);
    const rlim_t wanted = FD_SETSIZE + 64;
    if (limit.rlim_cur < wanted) {
        if (limit.rlim_max < wanted) {
            GTEST_SKIP() << "the descriptor limit is below " << wanted;
        }
        limit.rlim_cur = wanted;
        ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &limit), 0);
    }
    const int high = FD_SETSIZE + 10;
    ASSERT_EQ(dup2(m_port, high), high);
    const unsigned char byte = 0xAA;
    const BlockWriteResult result = WriteInBlocks(high, &byte, 1, 200, false);
    close(high);
    EXPECT_EQ(result.end, BlockWriteEnd::Done);
    EXPECT_EQ(result.sent, 1);
    Bytes expected(kPortWriteBlock, 0);
    expected[0] = 0xAA;
    EXPECT_EQ(m_pair.Receive(kPortWriteBlock, 1000ms), expected);
}

TEST_F(BlockWriteTest, BadArgumentsFailAndEmptyRequestSendsNothing) {
    const unsigned char byte = 1;
    struct Case {
        int descriptor;
        const unsigned char* buffer;
        int length;
    };
    for (const Case& c : {Case{-1, &byte, 1}, Case{m_port, nullptr, 5}, Case{m_port, &byte, -3}}) {
        const BlockWriteResult result = WriteInBlocks(c.descriptor, c.buffer, c.length, 200, false);
        EXPECT_EQ(result.end, BlockWriteEnd::Failed);
        EXPECT_EQ(result.error, EINVAL);
        EXPECT_EQ(result.sent, 0);
    }
    const BlockWriteResult empty = WriteInBlocks(m_port, &byte, 0, 200, false);
    EXPECT_EQ(empty.end, BlockWriteEnd::Done);
    EXPECT_EQ(empty.sent, 0);
    EXPECT_TRUE(m_pair.Receive(1, 100ms).empty());
}

} // namespace
