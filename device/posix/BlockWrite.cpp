#include "device/posix/BlockWrite.h"

#include "sync/Threads.h"

#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>

namespace {
// A port that says it has room and then takes nothing is asked again after this pause, not at once.
constexpr unsigned kBusyPauseMs = 10;

using Clock = std::chrono::steady_clock;

// Milliseconds left until `giveUp`, for poll(): -1 without limit, 0 once the time is up.
int MillisecondsLeft(bool limited, Clock::time_point giveUp) {
    if (!limited) {
        return -1;
    }
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(giveUp - Clock::now()).count();
    return left > 0 ? static_cast<int>(std::min<long long>(left, 1 << 30)) : 0;
}
} // namespace

BlockWriteResult WriteInBlocks(int descriptor, const unsigned char* buffer, int length, int roomWaitMs,
                               bool stalled) {
    BlockWriteResult result;
    if (descriptor < 0 || length < 0 || (buffer == nullptr && length > 0)) {
        result.end = BlockWriteEnd::Failed;
        result.error = EINVAL;
        return result;
    }
    if (length == 0) {
        return result;
    }
    unsigned char padded[kPortWriteBlock] = {};
    const unsigned char* data = buffer;
    int total = length;
    if (length < kPortWriteBlock) {
        std::memcpy(padded, buffer, static_cast<size_t>(length));
        data = padded;
        total = kPortWriteBlock;
    }

    const bool limited = roomWaitMs >= 0;
    const auto wait = std::chrono::milliseconds(limited ? roomWaitMs : 0);
    auto giveUp = Clock::now() + (stalled ? std::chrono::milliseconds(0) : wait);
    int sent = 0;
    bool lookedOnce = false;
    while (sent < total) {
        const int left = MillisecondsLeft(limited, giveUp);
        if (left == 0 && lookedOnce) {
            result.end = BlockWriteEnd::TimedOut;
            break;
        }
        lookedOnce = true;
        pollfd room{descriptor, POLLOUT, 0};
        const int ready = poll(&room, 1, left);
        if (ready < 0) {
            if (errno == EINTR) {
                continue;
            }
            result.end = BlockWriteEnd::Failed;
            result.error = errno;
            break;
        }
        if (ready == 0) {
            continue; // the time is up: the test at the top ends the write
        }
        if ((room.revents & POLLNVAL) != 0) {
            result.end = BlockWriteEnd::Failed;
            result.error = EBADF;
            break;
        }
        // Room, an error or a hang-up: the write tells which.
        const int chunk = std::min(kPortWriteBlock, total - sent);
        const ssize_t n = write(descriptor, data + sent, static_cast<size_t>(chunk));
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            if (errno == EAGAIN || errno == EWOULDBLOCK) {
                SleepEx(
                    std::min<unsigned>(kBusyPauseMs, limited ? static_cast<unsigned>(left) : kBusyPauseMs));
                continue;
            }
            result.end = BlockWriteEnd::Failed;
            result.error = errno;
            break;
        }
        if (n > 0) {
            sent += static_cast<int>(n);
            giveUp = Clock::now() + wait;
            lookedOnce = false;
        }
        if (n < chunk) {
            tcdrain(descriptor);
        }
    }
    result.sent = std::min(sent, length);
    return result;
}
