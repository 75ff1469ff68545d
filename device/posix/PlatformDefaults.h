#pragma once

// What differs between the POSIX platforms in discovery (device/linux, device/macos).

// The device-node format used until SetDeviceNodeFormat names another.
const char* DefaultDeviceNodeFormat();
// The lock directory used until SetLockDirectory names another.
const char* DefaultLockDirectory();
// Whether an open port is also claimed with a record lock (besides the lock file).
bool UsesRecordLock();
