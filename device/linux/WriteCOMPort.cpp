#include "device/Platform.h"

#include "device/DeviceState.h"
#include "device/WireLog.h"

#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>

namespace {
// How long a write may wait for the port to take more bytes before it gives up with the bytes sent so
// far. Every byte taken restarts the wait: a slow reader never cuts a packet, a stuck one ends the write.
constexpr auto kRoomWaitTime = std::chrono::milliseconds(1000);
// Under g_CriticalSection.
unsigned long s_nWriteTimeouts = 0;
} // namespace

unsigned long _PortWriteTimeouts() {
    CAutoCriticalSection lock(g_CriticalSection);
    return s_nWriteTimeouts;
}

// The non-blocking port may take a packet in parts: the rest follows as room appears, so a packet is
// never cut short while the instrument keeps reading. A port that is stalled gets one try without a wait:
// whatever it takes ends the stall.
int _WriteCOMPort(int length, const unsigned char* buffer, bool /*wait*/) {
    if (length <= 0 || buffer == nullptr) {
        return 0;
    }
    CAutoCriticalSection lock(g_CriticalSection);
    const long handle = g_hDevice;
    if (handle == -1) {
        return 0;
    }
    const int descriptor = static_cast<int>(handle);
    auto giveUp = std::chrono::steady_clock::now();
    if (!g_bPortWriteStalled) {
        giveUp += kRoomWaitTime;
    }
    int sent = 0;
    while (sent < length) {
        const ssize_t n = write(descriptor, buffer + sent, static_cast<size_t>(length - sent));
        if (n > 0) {
            sent += static_cast<int>(n);
            g_bPortWriteStalled = false;
            giveUp = std::chrono::steady_clock::now() + kRoomWaitTime;
            continue;
        }
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
            WireLogSent(buffer, length, -1, errno);
            return -1;
        }
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(giveUp - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            if (!g_bPortWriteStalled) {
                ++s_nWriteTimeouts;
                g_bPortWriteStalled = true;
            }
            break;
        }
        pollfd room{descriptor, POLLOUT, 0};
        if (poll(&room, 1, static_cast<int>(left.count())) < 0 && errno != EINTR) {
            break;
        }
        // Room, an error or a hang-up: the next write tells which.
    }
    WireLogSent(buffer, length, sent, 0);
    return sent;
}
