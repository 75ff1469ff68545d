#pragma once

// The Windows monitor behind StartMonitor/PauseMonitor/IsMonitored/ShutdownMonitor (device/Platform.h).
//
// A hidden top-level window receives the system's device-change broadcasts on a thread of its own and hands
// each message to the callback registered for its code (RegisterNotifyEvent); while a link is up the
// session's WinEventCb is registered for WM_DEVICECHANGE and wakes the connection thread, which
// re-enumerates (DeviceIsAlive) and ends the link when the instrument's interface is gone.
//
// The window thread runs only while watching: StartMonitor starts it, PauseMonitor and ShutdownMonitor
// (both on application or connection threads) signal it and wait for its end with a bound. It holds a
// reference to the module and ends with FreeLibraryAndExitThread, so an unload can never pull the code
// from under it; nothing at unload waits for it (the loader lock), and it is never terminated.

// The window class name of the attempt `index` (0..999): names another copy of the library has taken are
// skipped.
void FormatMonitorClassName(unsigned index, wchar_t* name, unsigned capacity);

// The monitor's window while its thread runs (null otherwise): for tests that send it messages.
void* MonitorWindow();
