#pragma once

// The platform contract: everything shared code asks of the host's serial ports, declared once here and
// implemented per platform in files side by side (device/posix with device/linux or device/macos;
// device/windows). Shared code includes this header only; nothing platform-specific is declared in it.
//
// There is one instrument port per process. Its state (handle, path, model flag) is in
// device/DeviceState.h; test it with IsPortOpen(), never by comparing the handle.

// --- The open port ---------------------------------------------------------------------------------

// True while a port is open (probed or linked). Lock-free; a port can close right after it answers.
bool IsPortOpen();

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

// Waits until the open port has input for _ReadCOMPort, at most `milliseconds`. True when input is
// waiting; false after the time ran out, and also when no port is open or the port reports a hang-up or
// an error (the full time is then slept, so a caller that loops on it never spins).
bool _WaitCOMPortReadable(unsigned milliseconds);

// Discards stale input. Bounded in time and reads, so a device that streams without pause cannot keep
// the caller here.
void _DrainCOMPort();

// The identify query on the open port: drains stale input, sends the identify byte and accepts a reply
// that begins with the identify token.
bool IsTargetDevice();

// Cancels asynchronous I/O outstanding on the port.
void DeviceCancelIO();

// Releases the port's lock, forgets its path, marks the port closed and closes it, under
// g_CriticalSection. Does nothing when no port is open.
void DeviceClose();

// Applies the port's read and write time-outs where the platform keeps them on the handle.
void SetDeviceTimeoutSetting();

// --- Finding the instrument ----------------------------------------------------------------------------

// The ports a search without a named port tries, in the order it tries them: the platform's scan policy
// (POSIX: the node numbers 0..127; macOS: the listed nodes; Windows: the enumerated instrument
// interfaces). Writes at most `capacity` numbers; returns the count written.
int ListCandidatePorts(int* ports, int capacity);

// Opens, claims against other processes (a lock file on POSIX, exclusive open on Windows), configures
// and identifies one port. On success the port is open, claimed and its path is in g_szDevicePath; on
// failure nothing of the probe is left open or claimed. A port still open from an earlier probe is closed
// first.
bool DoFindDevice(int port);

// Acceptance predicate: runs the session's opening exchange on an identified port whose path it is given.
// A refused port may be left open; the next probe closes it.
typedef bool (*DeviceAcceptFn)(char* path);

// Probes one port, or for -1 each candidate port in turn, and asks `accept` (a null predicate accepts)
// about each identified one. True at the first accepted port; a refused port does not end the search.
bool FindDevice(int port, DeviceAcceptFn accept);

// --- Presence and the monitor --------------------------------------------------------------------------

// True while the connected port's device is present (it is listed, is still the device the port was
// opened on, and the port has not hung up). False when nothing is connected or presence cannot
// be determined.
bool DeviceIsAlive();

// True if a port is connected and `path` equals its path exactly.
bool DeviceCheckPath(const char* path);

// Watches the connected instrument for removal while enabled. When it stays away, the monitor closes
// the port it watched (if that link is still the current one) and calls ReconnectDevice, repeating until
// paused. The watcher starts at the first StartMonitor.
void StartMonitor();
void PauseMonitor();
bool IsMonitored();
// Ends the watcher for good. Waits for it only on an application thread outside any loader lock; it
// never terminates a thread. Also run at unload where that is safe.
void ShutdownMonitor();
