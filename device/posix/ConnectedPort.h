#pragma once

// The connected port's path (g_szDevicePath) and the pattern that lists its device node, fixed when the
// port passed identification so that a later SetDeviceNodeFormat does not change what the presence test
// looks for. Both change only with g_CriticalSection held.

// Takes g_CriticalSection.
void CommitConnectedPort(const char* path, const char* pattern);

// The caller holds g_CriticalSection.
void ClearConnectedPortLocked();
