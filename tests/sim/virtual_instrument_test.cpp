// The virtual instrument on its own: its node, its answers, its faults, unplugging, and its descriptors.
#include "RawPort.h"

#include "sim/VirtualInstrument.h"

#include <gtest/gtest.h>

#include <dirent.h>
#include <set>
#include <sys/stat.h>

using namespace std::chrono_literals;
using qoltsim::Config;
using qoltsim::Fault;
using qoltsim::FaultKind;
using qoltsim::MessageKind;
using qoltsim::VirtualInstrument;
using rawport::B;
using rawport::Bytes;
using rawport::RawPort;

namespace {

std::set<int> DescriptorSet() {
    std::set<int> fds;
    if (DIR* dir = opendir("/proc/self/fd")) {
        const int own = dirfd(dir);
        while (dirent* e = readdir(dir)) {
            if (e->d_name[0] != '.' && atoi(e->d_name) != own) {
                fds.insert(atoi(e->d_name));
            }
        }
        closedir(dir);
    }
    return fds;
}

size_t OpenDescriptors() {
    size_t n = 0;
    if (DIR* dir = opendir("/proc/self/fd")) {
        while (dirent* e = readdir(dir)) {
            n += e->d_name[0] != '.' ? 1 : 0;
        }
        closedir(dir);
    }
    return n - 1; // the directory's own descriptor
}

Config MakeConfig(const qoltsim::TempDir& dir, int node = 0) {
    Config c;
    c.directory = dir.Path();
    c.node = node;
    return c;
}

Bytes Block(const VirtualInstrument& vi) {
    auto b = vi.InformationBlock();
    return Bytes(b.begin(), b.end());
}

} // namespace

TEST(VirtualInstrumentNode, StartLinksTheNodeToAPseudoTerminal) {
    qoltsim::TempDir dir;
    ASSERT_TRUE(dir.Valid());
    VirtualInstrument vi(MakeConfig(dir, 3));
    ASSERT_TRUE(vi.Start()) << vi.LastError();
    EXPECT_EQ(vi.NodePath(), dir.Path() + "/ttyACM3");
    struct stat st;
    ASSERT_EQ(lstat(vi.NodePath().c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    char target[256] = {};
    ASSERT_GT(readlink(vi.NodePath().c_str(), target, sizeof target - 1), 0);
    EXPECT_EQ(std::string(target), vi.SlavePath());
    ASSERT_EQ(stat(vi.NodePath().c_str(), &st), 0);
    EXPECT_TRUE(S_ISCHR(st.st_mode));
    RawPort port(vi.NodePath());
    ASSERT_TRUE(port.IsOpen());
    EXPECT_TRUE(isatty(port.Fd()));
    vi.Stop();
    EXPECT_NE(lstat((dir.Path() + "/ttyACM3").c_str(), &st), 0) << "Stop removes the link";
    EXPECT_FALSE(vi.IsRunning());
}

TEST(VirtualInstrumentNode, StartFailsCleanlyWithoutAUsableDirectory) {
    const size_t before = OpenDescriptors();
    {
        Config c;
        VirtualInstrument none(c);
        EXPECT_FALSE(none.Start());
        EXPECT_FALSE(none.LastError().empty());
        c.directory = "/nonexistent/qoltsim-dir";
        VirtualInstrument missing(c);
        EXPECT_FALSE(missing.Start());
        EXPECT_NE(missing.LastError().find("symlink"), std::string::npos) << missing.LastError();
        EXPECT_FALSE(missing.IsRunning());
    }
    EXPECT_EQ(OpenDescriptors(), before);
}

TEST(VirtualInstrumentNode, RefusesToReplaceSomethingThatIsNotALink) {
    qoltsim::TempDir dir;
    const std::string node = dir.Path() + "/ttyACM0";
    ASSERT_EQ(mkdir(node.c_str(), 0700), 0);
    VirtualInstrument vi(MakeConfig(dir));
    EXPECT_FALSE(vi.Start());
    struct stat st;
    ASSERT_EQ(lstat(node.c_str(), &st), 0);
    EXPECT_TRUE(S_ISDIR(st.st_mode));
}

TEST(VirtualInstrumentNode, ReplacesAStaleLink) {
    qoltsim::TempDir dir;
    const std::string node = dir.Path() + "/ttyACM0";
    ASSERT_EQ(symlink("/nonexistent", node.c_str()), 0);
    VirtualInstrument vi(MakeConfig(dir));
    ASSERT_TRUE(vi.Start()) << vi.LastError();
    RawPort port(node);
    EXPECT_TRUE(port.IsOpen());
}

TEST(VirtualInstrumentNode, StopIsIdempotentAndStartTwiceIsRefused) {
    qoltsim::TempDir dir;
    VirtualInstrument vi(MakeConfig(dir));
    ASSERT_TRUE(vi.Start());
    EXPECT_FALSE(vi.Start());
    vi.Stop();
    vi.Stop();
    EXPECT_FALSE(vi.Unplug());
    EXPECT_FALSE(vi.SendDataRequest());
    ASSERT_TRUE(vi.Start()) << "a stopped instrument can start again";
    RawPort port(vi.NodePath());
    EXPECT_EQ(port.Ask({0xAA}, 8), B("KTRX-VI1"));
}

// Every reply, byte for byte, with the default configuration (newer serial form, standard model).
TEST(VirtualInstrumentAnswers, EveryQueryIsAnsweredExactly) {
    qoltsim::TempDir dir;
    VirtualInstrument vi(MakeConfig(dir, 7));
    ASSERT_TRUE(vi.Start());
    RawPort port(vi.NodePath());
    ASSERT_TRUE(port.IsOpen());

    Bytes block(64, 0);
    block[0] = 0x12, block[1] = 0x55, block[2] = 0xAA;
    block[6] = 'E', block[7] = 'E', block[8] = 23, block[9] = 1, block[10] = 17;
    block[11] = 0x01, block[12] = 0x2C, block[13] = 12, block[14] = 5, block[15] = 6;

    struct Case {
        const char* name;
        Bytes query;
        Bytes reply;
    } cases[] = {
        {"identify", {0xAA}, B("KTRX-VI1")},
        {"serial", {0x55}, B("KEE2301-170300")},
        {"information", {0x12, 0x55, 0xAA, 0x00, 0x00}, block},
        {"port tag", {0x44, 0x01, '7'}, {0x44, 0x01, '7'}},
        {"converter", {0xAD, 0x00, 0x01, 0x00}, {0xAD, 0x08, 0x00}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(port.Ask(c.query, c.reply.size()), c.reply) << c.name;
        EXPECT_TRUE(port.ReadAll(30ms).empty()) << c.name << ": nothing beyond the reply";
    }
    // Commands without a reply.
    for (const Bytes& command :
         {B({0x08}), B({0x00, 0x05}), B({0x07, 0, 0, 0x20, 0, 0}), B({0x06}), B({'C'})}) {
        ASSERT_TRUE(port.Write(command));
    }
    EXPECT_TRUE(port.ReadAll(50ms).empty());
    ASSERT_TRUE(vi.WaitForCommand(MessageKind::Close, 1, 2s));
    EXPECT_EQ(vi.Range(), 5);
    EXPECT_EQ(vi.RelayPattern(), 0x20u);
}

TEST(VirtualInstrumentAnswers, InformationBlockFollowsTheConfiguration) {
    struct Case {
        qoltsim::SerialForm form;
        qoltsim::Model model;
        uint8_t hw, fwMajor, fwMinor;
        uint16_t unit;
        uint8_t expect9, expect10;
        const char* serial;
    } cases[] = {
        {qoltsim::SerialForm::Newer, qoltsim::Model::Enhanced, 12, 5, 6, 300, 2, 17, "KEE2302-170300"},
        {qoltsim::SerialForm::Newer, qoltsim::Model::Standard, 10, 4, 0, 9999, 1, 17, "KEE2301-179999"},
        {qoltsim::SerialForm::Older, qoltsim::Model::Enhanced, 21, 5, 4, 300, 2, 15, "KEE1502300"},
        {qoltsim::SerialForm::Older, qoltsim::Model::Standard, 11, 3, 9, 7, 1, 15, "KEE1501007"},
    };
    for (const auto& c : cases) {
        qoltsim::TempDir dir;
        Config config = MakeConfig(dir);
        config.serialForm = c.form;
        config.model = c.model;
        config.hardwareVersion = c.hw;
        config.firmwareMajor = c.fwMajor;
        config.firmwareMinor = c.fwMinor;
        config.unitNumber = c.unit;
        config.manufacturingRecord[0] = 0x42;
        config.manufacturingRecord[15] = 0x24;
        VirtualInstrument vi(config);
        ASSERT_TRUE(vi.Start());
        RawPort port(vi.NodePath());
        const Bytes block = port.Ask({0x12, 0x55, 0xAA, 0x00, 0x00}, 64);
        ASSERT_EQ(block.size(), 64u) << c.serial;
        EXPECT_EQ(block[6], 'E');
        EXPECT_EQ(block[7], 'E');
        EXPECT_EQ(block[9], c.expect9) << c.serial;
        EXPECT_EQ(block[10], c.expect10) << c.serial;
        EXPECT_EQ((block[11] << 8) | block[12], c.unit);
        EXPECT_EQ(block[13], c.hw);
        EXPECT_EQ(block[14], c.fwMajor);
        EXPECT_EQ(block[15], c.fwMinor);
        EXPECT_EQ(block[48], 0x42);
        EXPECT_EQ(block[63], 0x24);
        EXPECT_EQ(qoltsim::FormatSerialNumber(vi.InformationBlock()), c.serial);
        EXPECT_EQ(port.Ask({0x55}, strlen(c.serial)), B(c.serial));
    }
}

TEST(VirtualInstrumentAnswers, VerbatimBlockAndTextsAreUsedAsGiven) {
    qoltsim::TempDir dir;
    Config config = MakeConfig(dir);
    std::array<uint8_t, 64> raw{};
    for (size_t i = 0; i < raw.size(); ++i) {
        raw[i] = static_cast<uint8_t>(0x12 + 3 * i);
    }
    raw[0] = 0x12, raw[1] = 0x55, raw[2] = 0xAA;
    config.block = raw;
    config.serialText = "KEE-odd serial\r\n";
    config.identifyReply = "KTRX";
    config.converterValue = 0x1234;
    VirtualInstrument vi(config);
    ASSERT_TRUE(vi.Start());
    RawPort port(vi.NodePath());
    EXPECT_EQ(port.Ask({0x12, 0x55, 0xAA, 0x00, 0x00}, 64), Bytes(raw.begin(), raw.end()));
    EXPECT_EQ(port.Ask({0x55}, 16), B("KEE-odd serial\r\n"));
    EXPECT_EQ(port.Ask({0xAA}, 4), B("KTRX"));
    EXPECT_EQ(port.Ask({0xAD, 0, 1, 0}, 3), B({0xAD, 0x12, 0x34}));
    vi.SetConverterValue(0xFFFF);
    vi.SetIdentifyReply("KTRX0123456789");
    vi.SetSerialText("X");
    EXPECT_EQ(port.Ask({0xAD, 0, 1, 0}, 3), B({0xAD, 0xFF, 0xFF}));
    EXPECT_EQ(port.Ask({0xAA}, 14), B("KTRX0123456789"));
    EXPECT_EQ(port.Ask({0x55}, 1), B("X"));
}

TEST(VirtualInstrumentAnswers, StoredBlockIsEchoedAndThenQueried) {
    qoltsim::TempDir dir;
    VirtualInstrument vi(MakeConfig(dir));
    ASSERT_TRUE(vi.Start());
    RawPort port(vi.NodePath());
    Bytes block = port.Ask({0x12, 0x55, 0xAA, 0x00, 0x00}, 64);
    ASSERT_EQ(block.size(), 64u);
    block[3] = 0xFF;
    block[9] = 2;
    block[10] = 18;
    block[11] = 0x00, block[12] = 0x07;
    for (int i = 48; i < 64; ++i) {
        block[i] = static_cast<uint8_t>(i);
    }
    EXPECT_EQ(port.Ask(block, 64), block) << "the reply is the block as stored";
    EXPECT_EQ(port.Ask({0x12, 0x55, 0xAA, 0x00, 0x00}, 64), block);
    EXPECT_EQ(Block(vi), block);
    EXPECT_EQ(qoltsim::FormatSerialNumber(vi.InformationBlock()), "KEE2302-180007");
    const auto r = vi.Snapshot();
    ASSERT_EQ(r.CountCommands(MessageKind::StoreBlock), 1u);
    EXPECT_EQ(r.LastCommand(MessageKind::StoreBlock)->bytes, block);
    EXPECT_EQ(r.CountCommands(MessageKind::InfoQuery), 2u);
}

// Faults of the identify reply, one per row, each applied to the next reply only.
TEST(VirtualInstrumentFaults, IdentifyReplyFaults) {
    struct Case {
        const char* name;
        Fault fault;
        Bytes expect;
    } cases[] = {
        {"short", {FaultKind::Short}, B("KTR")},
        {"short 1", {FaultKind::Short, 0ms, 1, 1}, B("K")},
        {"silent", {FaultKind::Silent}, {}},
        {"wrong token", {FaultKind::WrongToken}, B("KTRY-VI1")},
        {"wrong token given", {FaultKind::WrongToken, 0ms, 1, 0, B("ABCD")}, B("ABCD-VI1")},
        {"garbage given", {FaultKind::Garbage, 0ms, 1, 0, B({0x00, 0xFF, 0x4E})}, B({0x00, 0xFF, 0x4E})},
        {"long", {FaultKind::Long, 0ms, 1, 40}, B("KTRX-VI1" + std::string(40, 'Z'))},
        {"late", {FaultKind::Late, 150ms}, B("KTRX-VI1")},
        {"late and short", {FaultKind::Short, 150ms}, B("KTR")},
    };
    qoltsim::TempDir dir;
    VirtualInstrument vi(MakeConfig(dir));
    ASSERT_TRUE(vi.Start());
    RawPort port(vi.NodePath());
    for (auto c : cases) {
        c.fault.count = 1;
        vi.SetFault(MessageKind::Identify, c.fault);
        ASSERT_TRUE(port.Write({0xAA}));
        if (c.fault.delay > 0ms) {
            // A late reply is not there at once (it may only come later than asked, never earlier).
            EXPECT_TRUE(port.ReadAll(20ms).empty()) << c.name;
        }
        if (c.expect.empty()) {
            EXPECT_TRUE(port.ReadAll(100ms).empty()) << c.name;
        } else {
            EXPECT_EQ(port.Read(c.expect.size()), c.expect) << c.name;
            EXPECT_TRUE(port.ReadAll(30ms).empty()) << c.name << ": nothing beyond";
        }
        EXPECT_EQ(port.Ask({0xAA}, 8), B("KTRX-VI1")) << c.name << ": the fault applied once";
    }
    const auto garbage = qoltsim::FaultReply({FaultKind::Garbage}, B("KTRX"));
    EXPECT_EQ(garbage.size(), 16u);
    EXPECT_NE(Bytes(garbage.begin(), garbage.begin() + 4), B("KTRX"));
}

TEST(VirtualInstrumentFaults, FaultsLastUntilClearedAndOnlyHitTheirKind) {
    qoltsim::TempDir dir;
    VirtualInstrument vi(MakeConfig(dir));
    ASSERT_TRUE(vi.Start());
    RawPort port(vi.NodePath());
    vi.SetFault(MessageKind::SerialQuery, {FaultKind::Short, 0ms, -1, 4});
    vi.SetFault(MessageKind::InfoQuery, {FaultKind::Long, 0ms, -1, 16});
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(port.Ask({0x55}, 100, 200ms), B("KEE2")) << i;
        EXPECT_EQ(port.Ask({0x12, 0x55, 0xAA, 0, 0}, 200, 200ms).size(), 80u) << i;
    }
    EXPECT_EQ(port.Ask({0xAA}, 8), B("KTRX-VI1"));
    vi.ClearFaults();
    EXPECT_EQ(port.Ask({0x55}, 14), B("KEE2301-170300"));
    EXPECT_EQ(port.Ask({0x12, 0x55, 0xAA, 0, 0}, 200, 200ms).size(), 64u);
}

TEST(VirtualInstrumentFaults, SilenceMutesEveryReplyButNotTheRecording) {
    qoltsim::TempDir dir;
    VirtualInstrument vi(MakeConfig(dir));
    ASSERT_TRUE(vi.Start());
    RawPort port(vi.NodePath());
    vi.SetSilent(true);
    ASSERT_TRUE(
        port.Write({0xAA, 0x55, 0x12, 0x55, 0xAA, 0x00, 0x00, 0xAD, 0x00, 0x01, 0x00, 0x44, 0x01, '0'}));
    ASSERT_TRUE(vi.WaitForCommand(MessageKind::PortTag, 1, 2s));
    EXPECT_TRUE(port.ReadAll(100ms).empty());
    EXPECT_TRUE(vi.SendRaw(B("hello"))) << "explicit output still goes";
    EXPECT_EQ(port.Read(5), B("hello"));
    vi.SetSilent(false);
    EXPECT_EQ(port.Ask({0xAA}, 8), B("KTRX-VI1"));
}

TEST(VirtualInstrumentFaults, LateReplyDelaysTheRepliesBehindIt) {
    qoltsim::TempDir dir;
    VirtualInstrument vi(MakeConfig(dir));
    ASSERT_TRUE(vi.Start());
    RawPort port(vi.NodePath());
    vi.SetFault(MessageKind::Identify, {FaultKind::Late, 100ms, 1});
    ASSERT_TRUE(port.Write({0xAA, 0xAD, 0x00, 0x01, 0x00}));
    EXPECT_EQ(port.Read(11), B(std::string("KTRX-VI1") + "\xAD\x08" + std::string(1, '\0')))
        << "replies keep their order";
}

TEST(VirtualInstrumentPlug, UnplugRemovesTheLinkAndHangsUpTheHost) {
    qoltsim::TempDir dir;
    VirtualInstrument vi(MakeConfig(dir, 2));
    ASSERT_TRUE(vi.Start());
    RawPort port(vi.NodePath());
    ASSERT_EQ(port.Ask({0xAA}, 8), B("KTRX-VI1"));
    ASSERT_TRUE(vi.Unplug());
    EXPECT_FALSE(vi.IsPlugged());
    EXPECT_FALSE(vi.Unplug()) << "already unplugged";
    struct stat st;
    EXPECT_NE(lstat(vi.NodePath().c_str(), &st), 0);
    EXPECT_TRUE(vi.SlavePath().empty());
    // The host's descriptor is dead: a hang-up, reads end, writes fail.
    pollfd p{port.Fd(), POLLIN, 0};
    ASSERT_EQ(poll(&p, 1, 1000), 1);
    EXPECT_NE(p.revents & (POLLHUP | POLLERR), 0);
    uint8_t byte = 0xAA;
    EXPECT_LE(read(port.Fd(), &byte, 1), 0);
    EXPECT_EQ(write(port.Fd(), &byte, 1), -1);
    RawPort again(vi.NodePath());
    EXPECT_FALSE(again.IsOpen());

    ASSERT_TRUE(vi.Replug());
    EXPECT_TRUE(vi.IsPlugged());
    ASSERT_EQ(lstat(vi.NodePath().c_str(), &st), 0);
    RawPort fresh(vi.NodePath());
    ASSERT_TRUE(fresh.IsOpen());
    EXPECT_EQ(fresh.Ask({0xAA}, 8), B("KTRX-VI1"));
    const auto r = vi.Snapshot();
    EXPECT_EQ(r.CountEvents(qoltsim::EventKind::Plugged), 2u);
    EXPECT_EQ(r.CountEvents(qoltsim::EventKind::Unplugged), 1u);
}

TEST(VirtualInstrumentPlug, ReplugUnderAnotherNode) {
    qoltsim::TempDir dir;
    VirtualInstrument vi(MakeConfig(dir, 0));
    ASSERT_TRUE(vi.Start());
    const std::string old = vi.NodePath();
    ASSERT_TRUE(vi.Replug(5));
    EXPECT_EQ(vi.Node(), 5);
    EXPECT_EQ(vi.NodePath(), dir.Path() + "/ttyACM5");
    struct stat st;
    EXPECT_NE(lstat(old.c_str(), &st), 0);
    RawPort port(vi.NodePath());
    EXPECT_EQ(port.Ask({0xAA}, 8), B("KTRX-VI1"));
}

TEST(VirtualInstrumentPlug, UnplugDropsHalfAMessage) {
    qoltsim::TempDir dir;
    VirtualInstrument vi(MakeConfig(dir));
    ASSERT_TRUE(vi.Start());
    {
        RawPort port(vi.NodePath());
        ASSERT_TRUE(port.Write({0x12, 0x55}));
        ASSERT_TRUE(vi.WaitFor([](const qoltsim::Recording&) { return true; }, 50ms));
    }
    ASSERT_TRUE(vi.Unplug());
    ASSERT_TRUE(vi.Replug());
    RawPort port(vi.NodePath());
    EXPECT_EQ(port.Ask({0xAA}, 8), B("KTRX-VI1")) << "the new link starts clean";
    EXPECT_EQ(vi.Snapshot().CountCommands(MessageKind::InfoQuery), 0u);
}

// The host opens and closes the node many times (port scans, reconnects): the instrument must keep
// answering promptly every time, never treating the host's close as the end.
TEST(VirtualInstrumentPlug, ServesManyOpensAndCloses) {
    qoltsim::TempDir dir;
    VirtualInstrument vi(MakeConfig(dir));
    ASSERT_TRUE(vi.Start());
    for (int i = 0; i < 60; ++i) {
        RawPort port(vi.NodePath());
        ASSERT_TRUE(port.IsOpen()) << i;
        ASSERT_EQ(port.Ask({0xAA}, 8), B("KTRX-VI1")) << i;
    }
    EXPECT_EQ(vi.Snapshot().CountCommands(MessageKind::Identify), 60u);
}

// What the instrument sent while no host had the port open waits for the next opener (as with a device
// whose data stays queued until the host reads again): a host must drain before it asks.
TEST(VirtualInstrumentPlug, OutputWhileClosedReachesTheNextOpener) {
    qoltsim::TempDir dir;
    VirtualInstrument vi(MakeConfig(dir));
    ASSERT_TRUE(vi.Start());
    {
        RawPort port(vi.NodePath());
        ASSERT_TRUE(port.Write({0xAA}));
        ASSERT_TRUE(vi.WaitForSent("identify", 1, 2s));
    }
    RawPort port(vi.NodePath());
    EXPECT_EQ(port.Read(8), B("KTRX-VI1"));
}

TEST(VirtualInstrumentResources, NoDescriptorOutlivesTheInstrument) {
    const size_t before = OpenDescriptors();
    {
        qoltsim::TempDir dir;
        VirtualInstrument vi(MakeConfig(dir));
        ASSERT_TRUE(vi.Start());
        {
            RawPort port(vi.NodePath());
            ASSERT_EQ(port.Ask({0xAA}, 8), B("KTRX-VI1"));
        }
        for (int i = 0; i < 5; ++i) {
            ASSERT_TRUE(vi.Unplug());
            ASSERT_TRUE(vi.Replug());
        }
        vi.Stop();
        ASSERT_TRUE(vi.Start());
        // The destructor stops it.
    }
    EXPECT_EQ(OpenDescriptors(), before);
}

TEST(VirtualInstrumentResources, DescriptorsAreCloseOnExec) {
    qoltsim::TempDir dir;
    const std::set<int> before = DescriptorSet();
    VirtualInstrument vi(MakeConfig(dir));
    ASSERT_TRUE(vi.Start());
    size_t added = 0;
    for (int fd : DescriptorSet()) {
        if (before.count(fd) == 0) {
            EXPECT_NE(fcntl(fd, F_GETFD) & FD_CLOEXEC, 0) << "descriptor " << fd;
            ++added;
        }
    }
    EXPECT_EQ(added, 4u) << "master, held slave, wake pipe";
}
