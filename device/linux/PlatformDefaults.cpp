#include "device/posix/PlatformDefaults.h"

const char* DefaultDeviceNodeFormat() {
    return "/dev/ttyACM%d";
}

const char* DefaultLockDirectory() {
    return "/var/lock";
}

// The lock file alone claims the port on Linux.
bool UsesRecordLock() {
    return false;
}
