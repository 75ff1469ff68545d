#pragma once

#include <cstdio>

// The loaders behind LoadEEGtxt, LoadEEGbin and LoadEEGedf, on a stream opened for binary reading. Each takes
// the stream over and closes it, publishes a successful load, and returns the exported call's result.
// Callers hold g_RecordingLoadMutex.

// Text: line 1 the sample rate, line 2 the count, then one sample per line. readUtf16 also accepts UTF-16LE
// text that starts with a byte-order mark.
int _LoadTextRecording(FILE* file, bool readUtf16);

// Big-endian binary: 16-bit rate, 32-bit count, 16-bit samples.
int _LoadBinaryRecording(FILE* file);

// One signal (0-based) of an EDF or EDF+ file.
int _LoadEDFRecording(FILE* file, int signal);
