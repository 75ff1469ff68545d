// SetDeviceNodeFormat and SetLockDirectory: what they accept, what they refuse, and that a refusal
// changes nothing.
#include "support/DeviceFixture.h"

#include "device/Platform.h"
#include "device/posix/LockFile.h"
#include "device/posix/DeviceConfig.h"

#include <string>

using devicetest::DeviceTest;

namespace {

std::string CurrentFormat() {
    char format[kDeviceNodeFormatCapacity];
    CopyDeviceNodeFormat(format);
    return format;
}

std::string CurrentLockDirectory() {
    char directory[kLockPathCapacity];
    CopyLockDirectory(directory);
    return directory;
}

struct FormatCase {
    const char* name;
    std::string format;
    int result;
};

void PrintTo(const FormatCase& c, std::ostream* os) {
    *os << c.name;
}

class NodeFormatTest : public ::testing::TestWithParam<FormatCase> {
protected:
    void TearDown() override { SetDeviceNodeFormat(nullptr); }
};

TEST_P(NodeFormatTest, AcceptsExactlyOneDecimalConversion) {
    ASSERT_EQ(SetDeviceNodeFormat("/before/%d"), 0);
    EXPECT_EQ(SetDeviceNodeFormat(GetParam().format.c_str()), GetParam().result);
    EXPECT_EQ(CurrentFormat(), GetParam().result == 0 ? GetParam().format : "/before/%d");
}

// A path made from a format is at most the format's literal text plus 11 characters ("-2147483648").
INSTANTIATE_TEST_SUITE_P(
    Formats, NodeFormatTest,
    ::testing::Values(FormatCase{"Plain", "/dev/ttyACM%d", 0}, FormatCase{"NumberOnly", "%d", 0},
                      FormatCase{"LiteralPercent", "/tmp/100%%/tty%d", 0},
                      FormatCase{"LongestThatFits", std::string(500, 'a') + "%d", 0},
                      FormatCase{"PathTooLong", std::string(501, 'a') + "%d", -2},
                      FormatCase{"FormatTooLong", std::string(600, 'a') + "%d", -2},
                      FormatCase{"Empty", "", -2}, FormatCase{"NoConversion", "/dev/ttyACM0", -2},
                      FormatCase{"TwoConversions", "/dev/tty%dACM%d", -2},
                      FormatCase{"StringConversion", "/dev/ttyACM%s", -2},
                      FormatCase{"DecimalAndString", "/dev/%s/ttyACM%d", -2},
                      FormatCase{"Width", "/dev/ttyACM%5d", -2}, FormatCase{"Long", "/dev/ttyACM%ld", -2},
                      FormatCase{"Unsigned", "/dev/ttyACM%u", -2}, FormatCase{"Pointer", "/dev/ttyACM%n", -2},
                      FormatCase{"TrailingPercent", "/dev/ttyACM%d%", -2},
                      FormatCase{"EscapedConversion", "/dev/ttyACM%%d", -2}),
    [](const ::testing::TestParamInfo<FormatCase>& info) { return info.param.name; });

TEST(NodeFormat, NullRestoresTheDefault) {
    ASSERT_EQ(SetDeviceNodeFormat("/elsewhere/n%d"), 0);
    EXPECT_EQ(SetDeviceNodeFormat(nullptr), 0);
    EXPECT_EQ(CurrentFormat(), "/dev/ttyACM%d");
}

TEST(NodeFormat, PathsAndPatternsFitTheirBuffers) {
    const std::string format = std::string(500, 'b') + "%d";
    ASSERT_TRUE(IsValidDeviceNodeFormat(format.c_str()));
    char path[kDevicePathCapacity];
    ASSERT_TRUE(FormatDeviceNode(format.c_str(), -2147483647 - 1, path, sizeof path));
    EXPECT_EQ(std::string(path), std::string(500, 'b') + "-2147483648");
    char pattern[kDevicePatternCapacity];
    ASSERT_TRUE(FormatDeviceNodePattern(format.c_str(), pattern, sizeof pattern));
    // Too small a buffer is refused, never overrun.
    char small[8];
    EXPECT_FALSE(FormatDeviceNode("/dev/ttyACM%d", 5, small, sizeof small));
    EXPECT_FALSE(FormatDeviceNodePattern("/dev/ttyACM%d", small, sizeof small));
}

TEST(NodeFormat, PatternEscapesGlobCharacters) {
    char pattern[kDevicePatternCapacity];
    ASSERT_TRUE(FormatDeviceNodePattern("/a[1]*?\\/100%%/n%d", pattern, sizeof pattern));
    EXPECT_STREQ(pattern, "/a\\[1\\]\\*\\?\\\\/100%/n*");
}

TEST(NodeFormat, ParsesTheNumberBackFromANodePath) {
    int port = -7;
    EXPECT_TRUE(ParseDeviceNode("/dev/cu.usbmodem%d", "/dev/cu.usbmodem14", &port));
    EXPECT_EQ(port, 14);
    EXPECT_TRUE(ParseDeviceNode("/x/100%%/n%d.tty", "/x/100%/n3.tty", &port));
    EXPECT_EQ(port, 3);
    EXPECT_FALSE(ParseDeviceNode("/dev/cu.usbmodem%d", "/dev/cu.usbmodem", &port));
    EXPECT_FALSE(ParseDeviceNode("/dev/cu.usbmodem%d", "/dev/cu.usbmodemX1", &port));
    EXPECT_FALSE(ParseDeviceNode("/dev/cu.usbmodem%d", "/dev/cu.usbmodem1 ", &port));
    EXPECT_FALSE(ParseDeviceNode("/dev/cu.usbmodem%d", "/dev/cu.usbmodem99999999999", &port));
    EXPECT_EQ(port, 3);
}

struct DirectoryCase {
    const char* name;
    std::string directory;
    int result;
};

void PrintTo(const DirectoryCase& c, std::ostream* os) {
    *os << c.name;
}

class LockDirectoryTest : public ::testing::TestWithParam<DirectoryCase> {
protected:
    void TearDown() override { SetLockDirectory(nullptr); }
};

TEST_P(LockDirectoryTest, AcceptsWhatFitsTheLockPath) {
    ASSERT_EQ(SetLockDirectory("/before"), 0);
    EXPECT_EQ(SetLockDirectory(GetParam().directory.c_str()), GetParam().result);
    EXPECT_EQ(CurrentLockDirectory(), GetParam().result == 0 ? GetParam().directory : "/before");
}

// A lock path is the directory plus "/kestrane.ACM", up to 11 digits and ".lock": 29 characters, and
// the terminator must fit the 128 bytes.
INSTANTIATE_TEST_SUITE_P(Directories, LockDirectoryTest,
                         ::testing::Values(DirectoryCase{"Plain", "/var/lock", 0},
                                           DirectoryCase{"Relative", "locks", 0},
                                           DirectoryCase{"LongestThatFits", "/" + std::string(97, 'd'), 0},
                                           DirectoryCase{"OneTooLong", "/" + std::string(98, 'd'), -2},
                                           DirectoryCase{"FarTooLong", std::string(4096, 'd'), -2},
                                           DirectoryCase{"Empty", "", -2}),
                         [](const ::testing::TestParamInfo<DirectoryCase>& info) { return info.param.name; });

TEST(LockDirectory, NullRestoresTheDefault) {
    ASSERT_EQ(SetLockDirectory("/elsewhere"), 0);
    EXPECT_EQ(SetLockDirectory(nullptr), 0);
    EXPECT_EQ(CurrentLockDirectory(), "/var/lock");
}

class ConfiguredDiscoveryTest : public DeviceTest {};

// A refused format leaves the working one in force.
TEST_F(ConfiguredDiscoveryTest, RefusedFormatChangesNothing) {
    AddInstrument(2);
    EXPECT_EQ(SetDeviceNodeFormat((Dir() + "/ttyACM%s").c_str()), -2);
    EXPECT_TRUE(FindDevice(-1, nullptr));
    EXPECT_STREQ(g_szDevicePath, NodePath(2).c_str());
}

// Port numbers of every size make paths and lock paths that fit; the longest lock directory works.
TEST_F(ConfiguredDiscoveryTest, ExtremePortNumbersAreHandled) {
    const std::string lockDir = Dir() + "/" + std::string(97 - Dir().size(), 'L');
    ASSERT_EQ(SetLockDirectory(lockDir.c_str()), 0);
    for (int port : {-2147483647 - 1, -2, 2147483647}) {
        EXPECT_FALSE(DoFindDevice(port)) << port;
        ASSERT_TRUE(LockDeviceFile(port)) << port;
        const std::string expected = lockDir + "/kestrane.ACM" + std::to_string(port) + ".lock";
        EXPECT_STREQ(g_szLockFilePath, expected.c_str());
        EXPECT_TRUE(devicetest::Exists(expected));
        UnlockDeviceFile();
        EXPECT_FALSE(devicetest::Exists(expected));
    }
    AddInstrument(9);
    EXPECT_TRUE(DoFindDevice(9));
    EXPECT_STREQ(g_szLockFilePath, (lockDir + "/kestrane.ACM9.lock").c_str());
}

// Names with characters that are special to a shell or to glob(3) are just names.
TEST_F(ConfiguredDiscoveryTest, SpecialCharactersInTheNodeDirectoryAreLiteral) {
    const std::string odd = Dir() + "/a b;touch injected;[x]*?";
    ASSERT_EQ(mkdir(odd.c_str(), 0755), 0);
    qoltsim::Config config;
    config.directory = odd;
    config.node = 4;
    qoltsim::VirtualInstrument vi(config);
    ASSERT_TRUE(vi.Start()) << vi.LastError();
    ASSERT_EQ(SetDeviceNodeFormat((odd + "/ttyACM%d").c_str()), 0);
    ASSERT_TRUE(FindDevice(-1, nullptr));
    EXPECT_STREQ(g_szDevicePath, (odd + "/ttyACM4").c_str());
    EXPECT_TRUE(DeviceIsAlive());
    EXPECT_FALSE(devicetest::Exists("injected"));
    EXPECT_FALSE(devicetest::Exists(Dir() + "/injected"));
    ASSERT_TRUE(vi.Unplug());
    EXPECT_FALSE(DeviceIsAlive());
    DeviceClose();
}

} // namespace
