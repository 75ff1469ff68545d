#pragma once

// Fuzz input as a file: a memory-backed descriptor (a regular file to the library, so sizes and positioned
// reads work) or a stream without a descriptor (the library then reads it through, as it would a pipe).

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <sys/mman.h>
#include <unistd.h>

// A property every input must keep; a violation is a finding.
#define FUZZ_CHECK(condition)                                                                                \
    do {                                                                                                     \
        if (!(condition)) {                                                                                  \
            std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition);               \
            std::abort();                                                                                    \
        }                                                                                                    \
    } while (0)

class FuzzFile {
public:
    FuzzFile() : m_fd(memfd_create("fuzz-input", 0)) {
        if (m_fd < 0) {
            std::abort();
        }
    }
    ~FuzzFile() { close(m_fd); }
    FuzzFile(const FuzzFile&) = delete;
    FuzzFile& operator=(const FuzzFile&) = delete;

    void Set(const uint8_t* data, size_t size) {
        if (ftruncate(m_fd, 0) != 0 ||
            (size > 0 && pwrite(m_fd, data, size, 0) != static_cast<ssize_t>(size))) {
            std::abort();
        }
    }

    // A new stream at the start of the contents; whoever receives it closes it.
    FILE* Open() const {
        const int fd = dup(m_fd);
        if (fd < 0 || lseek(fd, 0, SEEK_SET) != 0) {
            std::abort();
        }
        FILE* f = fdopen(fd, "rb");
        if (f == nullptr) {
            std::abort();
        }
        return f;
    }

private:
    int m_fd;
};

// A stream over the bytes with no descriptor behind it (size unknown to the library). Null for no bytes.
inline FILE* OpenUnsized(const uint8_t* data, size_t size) {
    if (size == 0) {
        return nullptr;
    }
    return fmemopen(const_cast<uint8_t*>(data), size, "rb");
}
