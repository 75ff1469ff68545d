#include "device/posix/LockFile.h"
#include "device/posix/PlatformDefaults.h"

#include <fcntl.h>

namespace {
bool SetRecordLock(int descriptor, short type) {
    struct flock lock {};
    lock.l_type = type;
    lock.l_whence = SEEK_SET;
    lock.l_start = 0;
    lock.l_len = 0;
    return fcntl(descriptor, F_SETLK, &lock) == 0;
}
} // namespace

bool TakeRecordLock(int descriptor) {
    return SetRecordLock(descriptor, F_WRLCK);
}

void ReleaseRecordLock(int descriptor) {
    SetRecordLock(descriptor, F_UNLCK);
}

bool LockDevice(int descriptor) {
    return !UsesRecordLock() || TakeRecordLock(descriptor);
}
