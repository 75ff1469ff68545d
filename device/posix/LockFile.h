#pragma once

// Claiming a port against other processes on POSIX: a lock file per port in the lock directory, plus an
// exclusive record lock on the open descriptor where the platform wants one (macOS).

// Path of the lock file this process holds; empty when none.
extern char g_szLockFilePath[128];
// Descriptor of the held lock file; -1 when none.
extern int g_nLockFile;

// Takes the lock file for the port: created exclusively with mode 0600, holding this process's id as 4
// binary bytes. A lock whose owner no longer exists is replaced; one held by a live process (also one
// that may not be signalled) or one that cannot be read fully blocks the port and is left alone.
bool LockDeviceFile(int port);

// Releases the held lock file (closes and removes it). Nothing when none is held.
void UnlockDeviceFile();

// The record lock on the open port where the platform uses one (UsesRecordLock); true elsewhere.
bool LockDevice(int descriptor);

// UnlockDeviceFile, then releases any record lock on the open port.
void UnlockDevice();

// An exclusive fcntl record lock over the whole file, not waiting. False when another process holds one.
bool TakeRecordLock(int descriptor);
void ReleaseRecordLock(int descriptor);
