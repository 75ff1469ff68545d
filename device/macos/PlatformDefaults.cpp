#include "device/posix/PlatformDefaults.h"

#include "device/DeviceDiscovery.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstring>

const char* DefaultDeviceNodeFormat() {
    return "/dev/cu.usbmodem%d";
}

const char* DefaultLockDirectory() {
    return "/private/var/kestrane/lock";
}

// The default directory's parent does not exist on a fresh system: make both levels.
void EnsureLockDirectory(const char* directory) {
    struct stat info {};
    if (directory == nullptr || stat(directory, &info) == 0) {
        return;
    }
    char parent[256];
    std::snprintf(parent, sizeof parent, "%s", directory);
    char* slash = std::strrchr(parent, '/');
    if (slash != nullptr && slash != parent) {
        *slash = '\0';
        mkdir(parent, 0755);
    }
    mkdir(directory, 0755);
}

bool LockDevice(int descriptor) {
    struct flock lock {};
    lock.l_type = F_WRLCK;
    lock.l_whence = SEEK_SET;
    lock.l_start = 0;
    lock.l_len = 0;
    return fcntl(descriptor, F_SETLK, &lock) == 0;
}
