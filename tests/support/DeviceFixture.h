// A temporary directory in which virtual instruments link their nodes and the library keeps its lock
// files, with the library pointed at it for the test's duration.
#pragma once

#include "device/DeviceState.h"
#include "device/Platform.h"
#include "qolt_api.h"
#include "sim/VirtualInstrument.h"

#include <gtest/gtest.h>

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace devicetest {

using Bytes = std::vector<std::uint8_t>;
using SteadyClock = std::chrono::steady_clock;

inline long long MillisSince(SteadyClock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(SteadyClock::now() - start).count();
}

// Descriptors open in this process.
inline std::size_t OpenDescriptors() {
    std::size_t n = 0;
    if (DIR* dir = opendir("/proc/self/fd")) {
        while (dirent* e = readdir(dir)) {
            n += e->d_name[0] != '.' ? 1 : 0;
        }
        closedir(dir);
    }
    return n - 1; // the listing's own descriptor
}

// The whole file, or nothing when it does not exist.
inline std::optional<Bytes> ReadFileBytes(const std::string& path) {
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return std::nullopt;
    }
    Bytes bytes;
    std::uint8_t chunk[256];
    ssize_t n;
    while ((n = read(fd, chunk, sizeof chunk)) > 0) {
        bytes.insert(bytes.end(), chunk, chunk + n);
    }
    close(fd);
    return bytes;
}

inline bool WriteFileBytes(const std::string& path, const Bytes& bytes, mode_t mode = 0600) {
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, mode);
    if (fd < 0) {
        return false;
    }
    const bool ok = write(fd, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
    close(fd);
    return ok;
}

inline Bytes PidBytes(std::int32_t pid) {
    Bytes bytes(sizeof pid);
    std::memcpy(bytes.data(), &pid, sizeof pid);
    return bytes;
}

inline bool Exists(const std::string& path) {
    struct stat info {};
    return lstat(path.c_str(), &info) == 0;
}

// Waits until the open port has input waiting (or the time passes).
inline bool PortReadable(std::chrono::milliseconds timeout) {
    const long handle = g_hDevice;
    if (handle == -1) {
        return false;
    }
    pollfd p{static_cast<int>(handle), POLLIN, 0};
    return poll(&p, 1, static_cast<int>(timeout.count())) > 0 && (p.revents & POLLIN) != 0;
}

class DeviceTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_dir.Valid());
        m_lockDir = m_dir.Path() + "/lock";
        ASSERT_EQ(SetDeviceNodeFormat(NodeFormat().c_str()), 0);
        ASSERT_EQ(SetLockDirectory(m_lockDir.c_str()), 0);
    }

    void TearDown() override {
        DeviceClose();
        SetDeviceNodeFormat(nullptr);
        SetLockDirectory(nullptr);
    }

    std::string NodeFormat() const { return m_dir.Path() + "/ttyACM%d"; }
    std::string NodePath(int node) const { return m_dir.Path() + "/ttyACM" + std::to_string(node); }
    std::string LockPath(int node) const {
        return m_lockDir + "/kestrane.ACM" + std::to_string(node) + ".lock";
    }
    const std::string& Dir() const { return m_dir.Path(); }
    const std::string& LockDir() const { return m_lockDir; }

    // A started instrument on the node (owned by the fixture, stopped before the directory goes).
    qoltsim::VirtualInstrument& AddInstrument(int node, qoltsim::Config config = qoltsim::Config()) {
        config.directory = m_dir.Path();
        config.node = node;
        m_instruments.push_back(std::make_unique<qoltsim::VirtualInstrument>(config));
        qoltsim::VirtualInstrument& vi = *m_instruments.back();
        EXPECT_TRUE(vi.Start()) << vi.LastError();
        return vi;
    }

private:
    qoltsim::TempDir m_dir{"qolt-device"};
    std::string m_lockDir;
    std::vector<std::unique_ptr<qoltsim::VirtualInstrument>> m_instruments;
};

} // namespace devicetest
