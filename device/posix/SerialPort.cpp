#include "core/InstrumentFacts.h"
#include "device/Platform.h"
#include "device/posix/LockFile.h"

#include "core/InstrumentFacts.h"
#include "device/Platform.h"
#include "device/posix/LockFile.h"
#include "device/DeviceState.h"
#include "device/InstrumentCommands.h"
#include "device/ProbeReport.h"
#include "device/posix/ConnectedPort.h"
#include "device/posix/DeviceConfig.h"
#include "device/posix/NodeListing.h"
#include "device/WireLog.h"
#include "sync/Threads.h"

#include <aio.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

namespace {

// Pattern that lists the connected port's node; empty while none is connected.
char s_szDevicePattern[kDevicePatternCapacity] = {};

} // namespace

void CommitConnectedPort(const char* path, const char* pattern) {
    CAutoCriticalSection lock(g_CriticalSection);
    std::snprintf(g_szDevicePath, sizeof g_szDevicePath, "%s", path);
    std::snprintf(s_szDevicePattern, sizeof s_szDevicePattern, "%s", pattern);
}

void ClearConnectedPortLocked() {
    std::memset(g_szDevicePath, 0, sizeof g_szDevicePath);
    std::memset(s_szDevicePattern, 0, sizeof s_szDevicePattern);
}

int _ReadCOMPort(int length, unsigned char* buffer) {
    if (length <= 0 || buffer == nullptr) {
        return 0;
    }
    const long handle = g_hDevice;
    if (handle == -1) {
        return 0;
    }
    const ssize_t n = read(static_cast<int>(handle), buffer, static_cast<size_t>(length));
    if (n <= 0) {
        return 0;
    }
    WireLogReceived(buffer, static_cast<int>(n));
    return static_cast<int>(n);
}

bool IsTargetDevice() {
    _DrainCOMPort();
    if (!SendCommand(kCmdIdentify)) {
        return false;
    }
    unsigned char reply[kIdentifyReplyCapacity];
    const int got = ReadReply(reply, kIdentifyReplyCapacity, kIdentifyReplyMinimum, kIdentifyWaitMs);
    NoteIdentifyReply(reply, got);
    return IsIdentifyReply(reply, got);
}

bool _PortWriteStalled() {
    CAutoCriticalSection lock(g_CriticalSection);
    return g_bPortWriteStalled;
}

void DeviceCancelIO() {
    const long handle = g_hDevice;
    if (handle != -1) {
        aio_cancel(static_cast<int>(handle), nullptr);
    }
}

void DeviceClose() {
    CAutoCriticalSection lock(g_CriticalSection);
    const long handle = g_hDevice;
    if (handle == -1) {
        return;
    }
    UnlockDevice();
    ClearConnectedPortLocked();
    // Marked closed before the descriptor goes, so nobody picks up a number the system may hand out again.
    g_hDevice = -1;
    CloseHandle(handle);
    _SetModelIs300R(false);
    g_bPortWriteStalled = false;
}

bool DeviceIsAlive() {
    char path[sizeof g_szDevicePath];
    char pattern[kDevicePatternCapacity];
    {
        CAutoCriticalSection lock(g_CriticalSection);
        std::memcpy(path, g_szDevicePath, sizeof path);
        std::memcpy(pattern, s_szDevicePattern, sizeof pattern);
    }
    path[sizeof path - 1] = '\0';
    pattern[sizeof pattern - 1] = '\0';
    if (!IsNodeListed(pattern, path)) {
        return false;
    }
    // A listed node is not enough: plugged out and back within the monitor's re-checks, the node names a
    // new device while the open port is hung up for good; and a node replaced by something else (a plain
    // file) is listed too. Either would keep a dead port linked.
    struct stat node {};
    if (stat(path, &node) != 0 || !S_ISCHR(node.st_mode)) {
        return false;
    }
    CAutoCriticalSection lock(g_CriticalSection);
    const long handle = g_hDevice;
    if (handle == -1 || std::strncmp(path, g_szDevicePath, sizeof g_szDevicePath) != 0) {
        return false;
    }
    struct stat port {};
    if (fstat(static_cast<int>(handle), &port) != 0 || port.st_rdev != node.st_rdev) {
        return false;
    }
    pollfd state{static_cast<int>(handle), 0, 0};
    return poll(&state, 1, 0) == 0 || (state.revents & (POLLHUP | POLLERR | POLLNVAL)) == 0;
}

bool DeviceCheckPath(const char* path) {
    if (path == nullptr) {
        return false;
    }
    CAutoCriticalSection lock(g_CriticalSection);
    return g_szDevicePath[0] != '\0' && strncmp(path, g_szDevicePath, sizeof g_szDevicePath) == 0;
}

void SetDeviceTimeoutSetting() {}
