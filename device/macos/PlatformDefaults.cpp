#include "device/posix/PlatformDefaults.h"

const char* DefaultDeviceNodeFormat() {
    return "/dev/cu.usbmodem%d";
}

const char* DefaultLockDirectory() {
    return "/private/var/kestrane/lock";
}

bool UsesRecordLock() {
    return true;
}
