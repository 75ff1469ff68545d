#include "device/posix/PlatformDefaults.h"

#include "device/DeviceDiscovery.h"

#include <fcntl.h>

const char* DefaultDeviceNodeFormat() {
    return "/dev/cu.usbmodem%d";
}

const char* DefaultLockDirectory() {
    return "/private/var/kestrane/lock";
}

bool LockDevice(int descriptor) {
    struct flock lock {};
    lock.l_type = F_WRLCK;
    lock.l_whence = SEEK_SET;
    lock.l_start = 0;
    lock.l_len = 0;
    return fcntl(descriptor, F_SETLK, &lock) == 0;
}
