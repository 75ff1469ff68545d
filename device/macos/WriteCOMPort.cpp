#include "device/Platform.h"

#include "device/DeviceState.h"
#include "device/WireLog.h"
#include "sync/Threads.h"

#include <sys/select.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace {
// The instrument takes its input in blocks of this size; shorter requests are padded with zeros.
constexpr int kBlock = 64;
constexpr long kRoomWaitMicros = 200000;
constexpr unsigned kBusyPauseMs = 10;
// Under g_CriticalSection.
unsigned long s_nWriteTimeouts = 0;
} // namespace

unsigned long _PortWriteTimeouts() {
    CAutoCriticalSection lock(g_CriticalSection);
    return s_nWriteTimeouts;
}

int _WriteCOMPort(int length, const unsigned char* buffer, bool wait) {
    if (length <= 0 || buffer == nullptr) {
        return 0;
    }
    CAutoCriticalSection lock(g_CriticalSection);
    const long handle = g_hDevice;
    if (handle == -1) {
        return 0;
    }
    const int descriptor = static_cast<int>(handle);
    if (descriptor >= FD_SETSIZE) {
        return 0;
    }
    unsigned char padded[kBlock] = {};
    const unsigned char* data = buffer;
    int total = length;
    if (length < kBlock) {
        std::memcpy(padded, buffer, static_cast<size_t>(length));
        data = padded;
        total = kBlock;
    }
    int sent = 0;
    while (sent < total) {
        fd_set writable;
        FD_ZERO(&writable);
        FD_SET(descriptor, &writable);
        // A stalled port gets one look without a wait: whatever it takes ends the stall.
        timeval limit{0, g_bPortWriteStalled ? 0 : kRoomWaitMicros};
        const int ready = select(descriptor + 1, nullptr, &writable, nullptr, wait ? nullptr : &limit);
        if (ready <= 0) {
            if (ready < 0 && errno == EINTR) {
                continue;
            }
            if (ready == 0 && !g_bPortWriteStalled) {
                ++s_nWriteTimeouts;
                g_bPortWriteStalled = true;
            }
            WireLogSent(buffer, length, 0, 0);
            return 0;
        }
        const int chunk = std::min(kBlock, total - sent);
        errno = 0;
        const ssize_t n = write(descriptor, data + sent, static_cast<size_t>(chunk));
        if (n < 0) {
            if (errno == EAGAIN || errno == EINTR) {
                SleepEx(kBusyPauseMs);
                continue;
            }
            break;
        }
        sent += static_cast<int>(n);
        if (n > 0) {
            g_bPortWriteStalled = false;
        }
        if (n < kBlock) {
            tcdrain(descriptor);
        }
        if (errno == EAGAIN || errno == EINTR) {
            SleepEx(kBusyPauseMs);
        }
    }
    const int taken = sent >= total ? length : std::min(sent, length);
    WireLogSent(buffer, length, taken, 0);
    return taken;
}
