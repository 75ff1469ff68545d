#pragma once

#include "qolt_api.h"

#include <atomic>

// Session globals (one session per process).

// Port to use: -1 searches every port; otherwise the port number (the n of the device node).
extern std::atomic<int> g_nPortNumber;
// Asks the connection thread to end. Written under g_APICriticalSection.
extern std::atomic<bool> g_bStopConnectDeviceThread;
// Port number parsed from a port name of the form "COM<n>"; unchanged for other names.
extern int g_iTargetDeviceSerialNumber;

// Starts the connection thread if none runs (joining one that has ended), or replaces the listener of
// the running one. False when the thread cannot be created, or when called from a library thread while
// Close is ending the session.
bool DoInit(QoltListenerCB listener);
// Connect's listener: ends Connect's wait when a link comes up.
void ConnectedHandler(bool connected);
// Calls g_Callback when one is registered.
void NotifyListener(bool connected);
// Nothing to release (kept for the call sequence of Init and Connect).
void Free();
// Connection thread body.
void* ConnectDeviceThread(void* arg);
// Identification of a candidate port (the acceptance predicate of the discovery): the opening exchange
// with the instrument. A rejected port is closed at once.
bool _COMStringFound(char* name);
// The calling thread is the connection thread.
bool IsConnectionThread();
