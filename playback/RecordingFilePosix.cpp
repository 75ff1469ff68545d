// Large-file offsets on 32-bit POSIX targets; must come before any system header.
#if !defined(_FILE_OFFSET_BITS)
#define _FILE_OFFSET_BITS 64
#endif

// POSIX variant of RecordingFile.h (the build globs every playback source; this one compiles to nothing on
// Windows).
#if !defined(_WIN32)

#include "playback/RecordingFile.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

const bool g_bRecordingTextMayBeUtf16 = false;

FILE* _OpenRecordingFile(const wchar_t* path) {
    if (path == nullptr) {
        return nullptr;
    }
    // Measure first: a path that does not convert, or does not fit, must not be cut into another path.
    const size_t needed = std::wcstombs(nullptr, path, 0);
    if (needed == static_cast<size_t>(-1) || needed >= kRecordingPathBytes) {
        return nullptr;
    }
    char narrow[kRecordingPathBytes] = {};
    if (std::wcstombs(narrow, path, kRecordingPathBytes - 1) != needed) {
        return nullptr;
    }
    // Only regular files: opening a FIFO would wait for a writer, and every later load behind it. The path
    // is looked at before it is opened (a device node is never opened), and the descriptor once more after:
    // non-blocking, in case the path changed in between.
    struct stat st;
    if (stat(narrow, &st) != 0 || !S_ISREG(st.st_mode)) {
        return nullptr;
    }
    const int fd = open(narrow, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        return nullptr;
    }
    const int flags = fcntl(fd, F_GETFL);
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || flags < 0 ||
        fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) {
        close(fd);
        return nullptr;
    }
    FILE* file = fdopen(fd, "rb");
    if (file == nullptr) {
        close(fd);
    }
    return file;
}

int64_t _RecordingFileSize(FILE* file) {
    if (file == nullptr) {
        return -1;
    }
    const int fd = fileno(file);
    struct stat st;
    if (fd < 0 || fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size < 0) {
        return -1;
    }
    return static_cast<int64_t>(st.st_size);
}

bool _SeekRecordingFile(FILE* file, int64_t offset) {
    if (file == nullptr || offset < 0 || static_cast<off_t>(offset) != offset) {
        return false;
    }
    return fseeko(file, static_cast<off_t>(offset), SEEK_SET) == 0;
}

size_t _ReadRecordingAt(FILE* file, int64_t offset, void* buffer, size_t size) {
    if (file == nullptr || offset < 0) {
        return 0;
    }
    const int fd = fileno(file);
    if (fd < 0 || static_cast<off_t>(offset) != offset) {
        return 0;
    }
    char* out = static_cast<char*>(buffer);
    size_t done = 0;
    while (done < size) {
        const ssize_t n =
            pread(fd, out + done, size - done, static_cast<off_t>(offset) + static_cast<off_t>(done));
        if (n > 0) {
            done += static_cast<size_t>(n);
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else {
            break;
        }
    }
    return done;
}

#endif
