// Windows variant of RecordingFile.h (compiles to nothing elsewhere).
#if defined(_WIN32)

#include "playback/RecordingFile.h"

#include <stdio.h>
#include <sys/stat.h>
#include <sys/types.h>

const bool g_bRecordingTextMayBeUtf16 = true;

FILE* _OpenRecordingFile(const wchar_t* path) {
    if (path == nullptr) {
        return nullptr;
    }
    FILE* file = nullptr;
    if (_wfopen_s(&file, path, L"rb") != 0) {
        return nullptr;
    }
    // Only regular files: a pipe or a device would hold the load.
    struct _stat64 st;
    if (_fstat64(_fileno(file), &st) != 0 || (st.st_mode & _S_IFMT) != _S_IFREG) {
        fclose(file);
        return nullptr;
    }
    return file;
}

int64_t _RecordingFileSize(FILE* file) {
    if (file == nullptr) {
        return -1;
    }
    struct _stat64 st;
    if (_fstat64(_fileno(file), &st) != 0 || (st.st_mode & _S_IFMT) != _S_IFREG || st.st_size < 0) {
        return -1;
    }
    return static_cast<int64_t>(st.st_size);
}

bool _SeekRecordingFile(FILE* file, int64_t offset) {
    return file != nullptr && offset >= 0 && _fseeki64(file, offset, SEEK_SET) == 0;
}

size_t _ReadRecordingAt(FILE* file, int64_t offset, void* buffer, size_t size) {
    if (file == nullptr || offset < 0 || _fseeki64(file, offset, SEEK_SET) != 0) {
        return 0;
    }
    return fread(buffer, 1, size, file);
}

#endif
