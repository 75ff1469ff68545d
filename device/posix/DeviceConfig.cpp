#include "device/posix/DeviceConfig.h"

#include "device/posix/PlatformDefaults.h"
#include "qolt_api.h"
#include "sync/CriticalSection.h"
#include "sync/Immortal.h"

#include <climits>
#include <cstdio>
#include <cstring>

namespace {

constexpr char kLockFilePrefix[] = "/kestrane.ACM";
constexpr char kLockFileSuffix[] = ".lock";
// The widest decimal int, sign included.
constexpr std::size_t kMaxPortDigits = 11;

CImmortal<CSimpleCriticalSection> s_ConfigLock(false);
// Empty means the platform's default.
char s_szDeviceNodeFormat[kDeviceNodeFormatCapacity] = {};
char s_szLockDirectory[kLockPathCapacity] = {};

void CopyText(const char* text, char* out, std::size_t capacity) {
    std::snprintf(out, capacity, "%s", text);
}

// Counts the %d conversions and the literal characters of a format; false on any other conversion.
bool ScanFormat(const char* format, int* conversions, std::size_t* literals) {
    *conversions = 0;
    *literals = 0;
    for (const char* p = format; *p != '\0'; ++p) {
        if (*p != '%') {
            ++*literals;
            continue;
        }
        ++p;
        if (*p == '%') {
            ++*literals;
        } else if (*p == 'd') {
            ++*conversions;
        } else {
            return false;
        }
    }
    return true;
}

bool IsGlobSpecial(char c) {
    return c == '*' || c == '?' || c == '[' || c == ']' || c == '\\';
}

} // namespace

void CopyDeviceNodeFormat(char (&out)[kDeviceNodeFormatCapacity]) {
    CAutoCriticalSection lock(s_ConfigLock.value);
    CopyText(s_szDeviceNodeFormat[0] != '\0' ? s_szDeviceNodeFormat : DefaultDeviceNodeFormat(), out,
             sizeof out);
}

void CopyLockDirectory(char (&out)[kLockPathCapacity]) {
    CAutoCriticalSection lock(s_ConfigLock.value);
    CopyText(s_szLockDirectory[0] != '\0' ? s_szLockDirectory : DefaultLockDirectory(), out, sizeof out);
}

bool IsValidDeviceNodeFormat(const char* format) {
    if (format == nullptr || strnlen(format, kDeviceNodeFormatCapacity) >= kDeviceNodeFormatCapacity) {
        return false;
    }
    int conversions = 0;
    std::size_t literals = 0;
    return ScanFormat(format, &conversions, &literals) && conversions == 1 &&
           literals + kMaxPortDigits < kDevicePathCapacity;
}

bool FormatDeviceNode(const char* format, int port, char* out, std::size_t capacity) {
    if (format == nullptr || out == nullptr || capacity == 0) {
        return false;
    }
    char digits[kMaxPortDigits + 1];
    std::snprintf(digits, sizeof digits, "%d", port);
    std::size_t n = 0;
    for (const char* p = format; *p != '\0'; ++p) {
        const char* piece = p;
        std::size_t length = 1;
        if (*p == '%') {
            ++p;
            if (*p == 'd') {
                piece = digits;
                length = std::strlen(digits);
            } else if (*p == '%') {
                piece = p;
            } else {
                return false;
            }
        }
        if (n + length >= capacity) {
            return false;
        }
        std::memcpy(out + n, piece, length);
        n += length;
    }
    out[n] = '\0';
    return true;
}

bool FormatDeviceNodePattern(const char* format, char* out, std::size_t capacity) {
    if (format == nullptr || out == nullptr || capacity == 0) {
        return false;
    }
    std::size_t n = 0;
    for (const char* p = format; *p != '\0'; ++p) {
        char piece[2] = {*p, '\0'};
        std::size_t length = 1;
        if (*p == '%') {
            ++p;
            if (*p == 'd') {
                piece[0] = '*';
            } else if (*p == '%') {
                piece[0] = '%';
            } else {
                return false;
            }
        } else if (IsGlobSpecial(*p)) {
            piece[0] = '\\';
            piece[1] = *p;
            length = 2;
        }
        if (n + length >= capacity) {
            return false;
        }
        std::memcpy(out + n, piece, length);
        n += length;
    }
    out[n] = '\0';
    return true;
}

bool ParseDeviceNode(const char* format, const char* path, int* port) {
    if (format == nullptr || path == nullptr || port == nullptr) {
        return false;
    }
    bool parsed = false;
    long value = 0;
    const char* q = path;
    for (const char* p = format; *p != '\0'; ++p) {
        if (*p == '%') {
            ++p;
            if (*p == 'd') {
                const bool negative = *q == '-';
                if (negative) {
                    ++q;
                }
                if (*q < '0' || *q > '9') {
                    return false;
                }
                for (; *q >= '0' && *q <= '9'; ++q) {
                    // Tested before it is multiplied: long is no wider than int on 32-bit targets.
                    const int digit = *q - '0';
                    if (value > (INT_MAX - digit) / 10) {
                        return false;
                    }
                    value = value * 10 + digit;
                }
                value = negative ? -value : value;
                parsed = true;
                continue;
            }
            if (*p != '%') {
                return false;
            }
        }
        if (*q != *p) {
            return false;
        }
        ++q;
    }
    if (!parsed || *q != '\0') {
        return false;
    }
    *port = static_cast<int>(value);
    return true;
}

bool FormatLockFilePath(const char* directory, int port, char* out, std::size_t capacity) {
    if (directory == nullptr || out == nullptr || capacity == 0) {
        return false;
    }
    const int n = std::snprintf(out, capacity, "%s%s%d%s", directory, kLockFilePrefix, port, kLockFileSuffix);
    if (n < 0 || static_cast<std::size_t>(n) >= capacity) {
        out[0] = '\0';
        return false;
    }
    return true;
}

int SetDeviceNodeFormat(const char* format) {
    if (format != nullptr && !IsValidDeviceNodeFormat(format)) {
        return -2;
    }
    CAutoCriticalSection lock(s_ConfigLock.value);
    CopyText(format != nullptr ? format : "", s_szDeviceNodeFormat, sizeof s_szDeviceNodeFormat);
    return 0;
}

int SetLockDirectory(const char* directory) {
    if (directory != nullptr) {
        const std::size_t length = strnlen(directory, kLockPathCapacity);
        const std::size_t longestPath =
            length + (sizeof kLockFilePrefix - 1) + kMaxPortDigits + (sizeof kLockFileSuffix - 1);
        if (length == 0 || longestPath >= kLockPathCapacity) {
            return -2;
        }
    }
    CAutoCriticalSection lock(s_ConfigLock.value);
    CopyText(directory != nullptr ? directory : "", s_szLockDirectory, sizeof s_szLockDirectory);
    return 0;
}
