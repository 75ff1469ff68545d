#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

// Opening and reading recording files: the only platform-dependent part of the playback subsystem
// (RecordingFilePosix.cpp, RecordingFileWindows.cpp). Offsets and sizes are 64-bit everywhere.

// Size of the longest multibyte path the POSIX builds open (terminator included).
const size_t kRecordingPathBytes = 512;

// Opens a recording for reading in binary mode; null for anything but a regular file (a FIFO, a device, a
// directory), at once, without waiting for a writer. POSIX: the wide path is converted to the multibyte
// encoding of the current locale; a null path, one that does not convert, or one needing kRecordingPathBytes
// or more gives null (cutting it would open another file). Windows: the wide path is opened as it is.
FILE* _OpenRecordingFile(const wchar_t* path);

// Size in bytes of a regular file; -1 for anything else (pipes, devices) or when unknown.
int64_t _RecordingFileSize(FILE* file);

// Reads up to size bytes at offset without using the stream's position; returns the bytes read (fewer only
// at the end of the file or on an error).
size_t _ReadRecordingAt(FILE* file, int64_t offset, void* buffer, size_t size);

// Moves the stream's position to offset; false when the stream cannot seek (a pipe).
bool _SeekRecordingFile(FILE* file, int64_t offset);

// Whether text recordings may be UTF-16LE with a byte-order mark (the Windows build reads those too).
extern const bool g_bRecordingTextMayBeUtf16;
