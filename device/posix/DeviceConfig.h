#pragma once

#include <cstddef>

// Where the POSIX builds look for the instrument and put their lock files (SetDeviceNodeFormat and
// SetLockDirectory in qolt_api.h). Every name built here fits the buffers it is meant for.

// Room for a node format and for any node path made from it (g_szDevicePath).
constexpr std::size_t kDeviceNodeFormatCapacity = 512;
constexpr std::size_t kDevicePathCapacity = 512;
// Room for the presence listing's pattern (every literal character may need an escape).
constexpr std::size_t kDevicePatternCapacity = 2 * kDevicePathCapacity;
// Room for the lock directory and for any lock-file path in it (g_szLockFilePath).
constexpr std::size_t kLockPathCapacity = 128;

// The node format now in effect.
void CopyDeviceNodeFormat(char (&out)[kDeviceNodeFormatCapacity]);
// The lock directory now in effect.
void CopyLockDirectory(char (&out)[kLockPathCapacity]);

// True when the format has exactly one %d, no other conversion ("%%" stands for '%'), and every path it
// makes fits kDevicePathCapacity.
bool IsValidDeviceNodeFormat(const char* format);

// The node path of a port. False when it does not fit (never with a valid format).
bool FormatDeviceNode(const char* format, int port, char* out, std::size_t capacity);

// The glob(3) pattern that lists every node of the format: %d becomes '*', literal glob characters are
// escaped. False when it does not fit.
bool FormatDeviceNodePattern(const char* format, char* out, std::size_t capacity);

// The port number of a node path made by the format. False when the path is not one of its nodes.
bool ParseDeviceNode(const char* format, const char* path, int* port);

// "<directory>/kestrane.ACM<port>.lock". False when it does not fit.
bool FormatLockFilePath(const char* directory, int port, char* out, std::size_t capacity);
