#pragma once

// What the Windows port's units share: the open handle, the connected interface and the write table.

#include <windows.h>

#include <cstddef>

// The open port's handle; INVALID_HANDLE_VALUE while none is open. g_hDevice keeps it as a long (handles
// are 32-bit values on 64-bit Windows, kept sign-extendable for 32-bit peers).
HANDLE PortHandle();

// Makes a freshly opened handle the port (with g_CriticalSection held by the caller).
void AdoptPortHandleLocked(HANDLE handle);

// Applies the port's line settings (8 data bits, no parity, one stop bit, binary, no flow control), its
// 4096-byte queues and its time-outs. False when the handle is no communications port.
bool ConfigurePortHandle(HANDLE handle);

// The connected instrument: its interface path (what the presence test looks for) and its port name
// ("COM7", g_szDevicePath). Takes g_CriticalSection.
void CommitConnectedInterface(const wchar_t* interfacePath, const char* portName);

// Copies the connected interface's path; empty while none is connected. Takes g_CriticalSection.
void CopyConnectedInterface(wchar_t* path, std::size_t capacity);

// Writes handed to the port and not yet seen complete (the write table's records in flight).
int PendingPortWrites();
