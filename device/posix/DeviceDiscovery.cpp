#include "device/Platform.h"

#include "core/SessionSync.h"
#include "device/DeviceState.h"
#include "device/ProbeReport.h"
#include "device/posix/LockFile.h"
#include "device/posix/ConnectedPort.h"
#include "device/posix/DeviceConfig.h"
#include "device/posix/PlatformDefaults.h"
#include "device/posix/PortSettings.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>

char g_szLockFilePath[128] = {};
int g_nLockFile = -1;

static_assert(sizeof g_szLockFilePath == kLockPathCapacity, "lock path buffer");
static_assert(sizeof g_szDevicePath == kDevicePathCapacity, "device path buffer");

namespace {

constexpr int kLockAttempts = 2;

// What a lock file found in place tells about its owner.
enum class LockOwner { Alive, Gone, Unreadable };

LockOwner ProbeLockOwner(int descriptor, std::int32_t* owner = nullptr) {
    std::int32_t pid = 0;
    const ssize_t n = read(descriptor, &pid, sizeof pid);
    if (owner != nullptr) {
        *owner = pid;
    }
    // A short file, or one naming no single process (0 and -1 would address process groups), is not a
    // lock this library wrote.
    if (n != static_cast<ssize_t>(sizeof pid) || pid <= 0) {
        return LockOwner::Unreadable;
    }
    // Probed only while this process holds no lock (LockDeviceFile lets go of its own first): our own pid
    // here was left by an earlier process that had it (a container restarted as pid 1, a recycled pid).
    if (static_cast<pid_t>(pid) == getpid()) {
        return LockOwner::Gone;
    }
    if (kill(static_cast<pid_t>(pid), 0) == 0) {
        return LockOwner::Alive;
    }
    // Only "no such process" frees the port: EPERM means a live process of another user.
    return errno == ESRCH ? LockOwner::Gone : LockOwner::Alive;
}

// Why a port's lock could not be taken, for the connection report: the live owner, or the error.
void NoteLockRefusal(int port, const char* path, int error) {
    char directory[kLockPathCapacity];
    CopyLockDirectory(directory);
    char lockPath[kLockPathCapacity];
    std::int32_t pid = 0;
    if (FormatLockFilePath(directory, port, lockPath, sizeof lockPath)) {
        const int existing = open(lockPath, O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
        if (existing >= 0) {
            const LockOwner owner = ProbeLockOwner(existing, &pid);
            close(existing);
            if (owner == LockOwner::Alive) {
                NoteProbe(port, path, ProbeResult::Locked, pid);
                return;
            }
        }
    }
    NoteProbe(port, path, ProbeResult::LockFailed, error);
}

// Makes every missing level of the lock directory, as mkdir -p does (macOS's default has a missing parent on
// a fresh system); what cannot be made is left to the exclusive create that follows, which then fails.
void EnsureLockDirectory(const char* directory) {
    struct stat info {};
    if (directory[0] == '\0' || stat(directory, &info) == 0) {
        return;
    }
    char path[kLockPathCapacity];
    std::snprintf(path, sizeof path, "%s", directory);
    for (char* p = path + 1;; ++p) {
        if (*p != '/' && *p != '\0') {
            continue;
        }
        const char end = *p;
        if (p[-1] != '/') {
            *p = '\0';
            mkdir(path, 0755);
            *p = end;
        }
        if (end == '\0') {
            return;
        }
    }
}

bool WritePid(int descriptor) {
    const std::int32_t pid = static_cast<std::int32_t>(getpid());
    return write(descriptor, &pid, sizeof pid) == static_cast<ssize_t>(sizeof pid);
}

} // namespace

bool DoFindDevice(int port) {
    // A port an earlier probe left open (a rejected predicate) would otherwise leak its descriptor.
    DeviceClose();

    char format[kDeviceNodeFormatCapacity];
    CopyDeviceNodeFormat(format);
    char path[kDevicePathCapacity];
    char pattern[kDevicePatternCapacity];
    if (!FormatDeviceNode(format, port, path, sizeof path) ||
        !FormatDeviceNodePattern(format, pattern, sizeof pattern)) {
        return false;
    }

    const int descriptor = open(path, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (descriptor < 0) {
        const int error = errno;
        const bool missing = error == ENOENT || error == ENODEV || error == ENXIO;
        NoteProbe(port, path, missing ? ProbeResult::NodeMissing : ProbeResult::OpenFailed, error);
        return false;
    }
    {
        CAutoCriticalSection lock(g_CriticalSection);
        g_hDevice = descriptor;
    }
    if (!LockDeviceFile(port)) {
        const int error = errno;
        DeviceClose();
        NoteLockRefusal(port, path, error);
        return false;
    }
    if (!LockDevice(descriptor)) {
        DeviceClose();
        NoteProbe(port, path, ProbeResult::LockFailed, 0);
        return false;
    }
    DeviceCancelIO();
    // A node that is no terminal is no instrument.
    if (!ConfigurePort(descriptor)) {
        const int error = errno;
        DeviceClose();
        NoteProbe(port, path, ProbeResult::NotTerminal, error);
        return false;
    }
    if (!IsTargetDevice()) {
        DeviceClose();
        NoteProbe(port, path, ProbeResult::NotIdentified, 0);
        return false;
    }
    CommitConnectedPort(path, pattern);
    BumpLinkGeneration();
    return true;
}

bool LockDeviceFile(int port) {
    char directory[kLockPathCapacity];
    CopyLockDirectory(directory);
    EnsureLockDirectory(directory);

    // Committed to g_szLockFilePath only once the file is ours.
    char path[kLockPathCapacity];
    if (!FormatLockFilePath(directory, port, path, sizeof path)) {
        return false;
    }
    // One process holds one port; a lock still recorded here belongs to no open port.
    {
        CAutoCriticalSection lock(g_CriticalSection);
        UnlockDeviceFile();
    }

    for (int attempt = 0; attempt < kLockAttempts; ++attempt) {
        const int created = open(path, O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (created >= 0) {
            // Exactly 0600 whatever the process's umask.
            if (fchmod(created, 0600) != 0 || !WritePid(created)) {
                close(created);
                unlink(path);
                return false;
            }
            CAutoCriticalSection lock(g_CriticalSection);
            g_nLockFile = created;
            std::memcpy(g_szLockFilePath, path, sizeof g_szLockFilePath);
            return true;
        }
        if (errno != EEXIST) {
            return false;
        }
        const int existing = open(path, O_RDWR | O_NOFOLLOW | O_CLOEXEC);
        if (existing < 0) {
            return false;
        }
        const LockOwner owner = ProbeLockOwner(existing);
        close(existing);
        if (owner == LockOwner::Alive) {
            return false;
        }
        if (owner == LockOwner::Gone) {
            unlink(path);
        }
        // Unreadable: left in place, so the next attempt finds it again and the port stays blocked.
    }
    return false;
}

// Called with g_CriticalSection held (DeviceClose).
void UnlockDeviceFile() {
    if (g_nLockFile == -1) {
        return;
    }
    close(g_nLockFile);
    g_nLockFile = -1;
    unlink(g_szLockFilePath);
    std::memset(g_szLockFilePath, 0, sizeof g_szLockFilePath);
}

void UnlockDevice() {
    UnlockDeviceFile();
    const long handle = g_hDevice;
    if (handle != -1) {
        ReleaseRecordLock(static_cast<int>(handle));
    }
}
