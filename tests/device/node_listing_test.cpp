// Listing the device nodes of a format (the macOS build's candidate ports): which names count as nodes,
// and the listing order.
#include "device/posix/NodeListing.h"

#include "sim/TempDir.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <string>
#include <vector>

namespace {

TEST(NodeListingTest, OnlyNamesTheFormatMakesFromAPortNumberAreNodes) {
    struct Case {
        const char* name;
        bool node;
        int port;
    };
    const Case cases[] = {
        {"/dev/cu.usbmodem3", true, 3},
        {"/dev/cu.usbmodem0", true, 0},
        {"/dev/cu.usbmodem14101", true, 14101},
        {"/dev/cu.usbmodemFD121", false, 0}, // a name the system gives by location, not by number
        {"/dev/cu.usbmodem12a", false, 0},
        {"/dev/cu.usbmodem03", false, 0}, // port 3 would open another node
        {"/dev/cu.usbmodem-1", false, 0}, // -1 asks for any port
        {"/dev/cu.usbmodem", false, 0},
        {"/dev/cu.usbmodem3 ", false, 0},
        {"/dev/tty.usbmodem3", false, 0},
        {"/dev/cu.usbmodem99999999999", false, 0},
        {"", false, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        int port = -7;
        EXPECT_EQ(ListedNodePort("/dev/cu.usbmodem%d", c.name, &port), c.node);
        EXPECT_EQ(port, c.node ? c.port : -7);
    }
    int port = 0;
    EXPECT_FALSE(ListedNodePort(nullptr, "/dev/cu.usbmodem3", &port));
    EXPECT_FALSE(ListedNodePort("/dev/cu.usbmodem%d", nullptr, &port));
    EXPECT_FALSE(ListedNodePort("/dev/cu.usbmodem%d", "/dev/cu.usbmodem3", nullptr));
}

class NodeListingDirTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(m_dir.Valid()); }
    void Create(const std::string& name) {
        const int fd = open((m_dir.Path() + "/" + name).c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
        ASSERT_GE(fd, 0);
        close(fd);
    }
    std::string Format() const { return m_dir.Path() + "/cu.usbmodem%d"; }
    std::vector<int> List(int capacity) const {
        std::vector<int> ports(static_cast<std::size_t>(capacity > 0 ? capacity : 1), -1);
        const int n = ListNodePorts(Format().c_str(), ports.data(), capacity);
        ports.resize(static_cast<std::size_t>(n > 0 ? n : 0));
        return ports;
    }

    qoltsim::TempDir m_dir{"qolt-listing"};
};

TEST_F(NodeListingDirTest, ListedNodesInListingOrderSkippingOthers) {
    EXPECT_TRUE(List(16).empty());
    for (const char* name : {"cu.usbmodem3", "cu.usbmodemFD121", "cu.usbmodem14101", "cu.usbmodem03",
                             "cu.usbmodem10", "tty.usbmodem5"}) {
        Create(name);
    }
    EXPECT_EQ(List(16), (std::vector<int>{10, 14101, 3}));
    EXPECT_EQ(List(2), (std::vector<int>{10, 14101}));
    EXPECT_TRUE(List(0).empty());
    EXPECT_EQ(ListNodePorts(nullptr, nullptr, 4), 0);
}

} // namespace
