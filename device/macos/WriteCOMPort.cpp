#include "device/Platform.h"

#include "device/DeviceState.h"
#include "device/WireLog.h"
#include "device/posix/BlockWrite.h"

namespace {
// How long a write that may not wait without limit waits for the port to take more bytes.
constexpr int kRoomWaitMs = 200;
// Under g_CriticalSection.
unsigned long s_nWriteTimeouts = 0;
} // namespace

unsigned long _PortWriteTimeouts() {
    CAutoCriticalSection lock(g_CriticalSection);
    return s_nWriteTimeouts;
}

// The instrument takes full 64-byte blocks: a shorter request goes out padded with zeros, and the caller
// is told its own length.
int _WriteCOMPort(int length, const unsigned char* buffer, bool wait) {
    if (length <= 0 || buffer == nullptr) {
        return 0;
    }
    CAutoCriticalSection lock(g_CriticalSection);
    const long handle = g_hDevice;
    if (handle == -1) {
        return 0;
    }
    const BlockWriteResult result =
        WriteInBlocks(static_cast<int>(handle), buffer, length, wait ? -1 : kRoomWaitMs, g_bPortWriteStalled);
    if (result.sent > 0) {
        g_bPortWriteStalled = false;
    }
    if (result.end == BlockWriteEnd::Failed) {
        WireLogSent(buffer, length, -1, result.error);
        return -1;
    }
    if (result.end == BlockWriteEnd::TimedOut && !g_bPortWriteStalled) {
        ++s_nWriteTimeouts;
        g_bPortWriteStalled = true;
    }
    WireLogSent(buffer, length, result.sent, 0);
    return result.sent;
}
