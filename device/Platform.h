#pragma once

// The instrument's serial port: raw, unframed reads and writes on the one open port (g_hDevice), the
// identify query, closing and the presence test. Platform variants in device/posix, device/linux,
// device/macos.

// Writes all `length` bytes. Returns the count the port accepted (short only when the port stayed full
// for longer than the write may wait, or at once while the port is stalled: see g_bPortWriteStalled),
// -1 on a write error, 0 when no port is open or on bad arguments. `wait` matters on macOS only (wait for
// room without limit). Serialised by g_CriticalSection.
int _WriteCOMPort(int length, const unsigned char* buffer, bool wait);

// The open port is stalled (g_bPortWriteStalled). Takes g_CriticalSection.
bool _PortWriteStalled();

// Writes that gave up because the port took nothing for the whole of their wait, since the library
// was loaded (diagnostics).
unsigned long _PortWriteTimeouts();

// Reads what is waiting, at most `length` bytes, without waiting. Returns the count; 0 when nothing is
// waiting, on error, or when no port is open. Takes no lock: the caller holds g_APICriticalSection (or is
// the only thread doing I/O), so the port is not closed under it.
int _ReadCOMPort(int length, unsigned char* buffer);

// Discards stale input. Bounded in time and reads, so a device that streams without pause cannot keep
// the caller here.
void _DrainCOMPort();

// The identify query on the open port: drains stale input, sends the identify byte and accepts a reply
// that begins with the identify token.
bool IsTargetDevice();

// Cancels asynchronous I/O outstanding on the port.
void DeviceCancelIO();

// Releases the port's lock file, forgets its path, marks the port closed and closes the descriptor, under
// g_CriticalSection. Does nothing when no port is open.
void DeviceClose();

// True while the connected port's device node is listed. False when nothing is connected or the listing
// cannot be made.
bool DeviceIsAlive();

// True if a port is connected and `path` equals its path exactly.
bool DeviceCheckPath(const char* path);

// Nothing to do on POSIX (the Windows build sets the port's time-outs).
void SetDeviceTimeoutSetting();
