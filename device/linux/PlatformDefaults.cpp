#include "device/posix/PlatformDefaults.h"

#include "device/DeviceDiscovery.h"

#include <sys/stat.h>

const char* DefaultDeviceNodeFormat() {
    return "/dev/ttyACM%d";
}

const char* DefaultLockDirectory() {
    return "/var/lock";
}

void EnsureLockDirectory(const char* directory) {
    struct stat info {};
    if (stat(directory, &info) != 0) {
        mkdir(directory, 0755);
    }
}

// The lock file alone claims the port on Linux.
bool LockDevice(int /*descriptor*/) {
    return true;
}
