#pragma once

// Finding the instrument among the host's serial ports, claiming the port against other processes with a
// lock file, opening, configuring and identifying it.

// Acceptance predicate: runs the session's opening exchange on an identified port whose path it is given;
// its result is the result of FindDevice.
typedef bool (*DeviceAcceptFn)(char* path);

// Path of the lock file this process holds; empty when none.
extern char g_szLockFilePath[128];
// Descriptor of the held lock file; -1 when none.
extern int g_nLockFile;

// Up to `attempts` calls of FindDevice; sleeps 1 s after each failed one. True at the first success.
bool DeviceConnect(DeviceAcceptFn accept, int port, int attempts);

// Probes one port, or every port for -1 (the lowest-numbered instrument wins), then asks `accept` (a null
// predicate accepts). Never goes on past an identified port.
bool FindDevice(int port, DeviceAcceptFn accept);

// Opens, locks, configures and identifies one port. On success the port is open, locked and its path is
// in g_szDevicePath; on failure nothing of the probe is left open. A port still open from an earlier
// probe is closed first.
bool DoFindDevice(int port);

// Takes the lock file for the port: created exclusively with mode 0600, holding this process's id as 4
// binary bytes. A lock whose owner no longer exists is replaced; one held by a live process (also one
// that may not be signalled) or one that cannot be read fully blocks the port and is left alone.
bool LockDeviceFile(int port);

// Releases the held lock file (closes and removes it). Nothing when none is held.
void UnlockDeviceFile();

// Exclusive record lock on the open port (macOS); the Linux build has none and always succeeds.
bool LockDevice(int descriptor);

// UnlockDeviceFile, then releases any record lock on the open port.
void UnlockDevice();
