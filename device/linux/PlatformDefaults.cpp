#include "device/posix/PlatformDefaults.h"

#include "device/DeviceDiscovery.h"

const char* DefaultDeviceNodeFormat() {
    return "/dev/ttyACM%d";
}

const char* DefaultLockDirectory() {
    return "/var/lock";
}

// The lock file alone claims the port on Linux.
bool LockDevice(int /*descriptor*/) {
    return true;
}
