#include "device/WireLog.h"

#include "device/InstrumentCommands.h"
#include "sync/LogQueue.h"

#include <cstdio>
#include <cstring>

namespace {

// Room kept at the end of an entry for " ..." when the bytes do not all fit.
constexpr int kEllipsisRoom = 5;

// Writes "<what> <n> byte(s): AA BB ..." into the entry, as many bytes as fit.
void WriteHex(LogEntry* entry, const char* what, const unsigned char* bytes, int count) {
    char* text = entry->text;
    int used = std::snprintf(text, kLogTextCapacity, "%s %d byte%s:", what, count, count == 1 ? "" : "s");
    if (used < 0 || used >= kLogTextCapacity) {
        return;
    }
    static const char kDigits[] = "0123456789ABCDEF";
    for (int i = 0; i < count; ++i) {
        if (used + 3 >= kLogTextCapacity - kEllipsisRoom && i + 1 < count) {
            std::memcpy(text + used, " ...", 5);
            return;
        }
        text[used++] = ' ';
        text[used++] = kDigits[bytes[i] >> 4];
        text[used++] = kDigits[bytes[i] & 0x0F];
    }
    text[used] = '\0';
}

bool IsSamplePacket(const unsigned char* bytes, int length) {
    return length == kSamplePacketSize && bytes[0] == 0x01;
}

} // namespace

void WireLogSent(const unsigned char* bytes, int length, int accepted, int error) {
    if (accepted < 0) {
        LogText(kLogError, "write of %d bytes to the port failed: %s", length, std::strerror(error));
    } else if (accepted < length) {
        LogText(kLogWarning, "the port took %d of %d bytes before the write gave up", accepted, length);
    }
    if (!LogWanted(kLogWire) || bytes == nullptr || length <= 0) {
        return;
    }
    if (IsSamplePacket(bytes, length)) {
        // The sub-packet counters of the first and last sub-packets (64 bytes each) tell the packet apart.
        constexpr int kLastHead = kSamplePacketSize - 64;
        LogText(kLogWire,
                "sent sample packet: %d bytes, %d taken, counters %02X..%02X, first sample %02X%02X", length,
                accepted, bytes[1], bytes[kLastHead + 1], bytes[4], bytes[5]);
        return;
    }
    LogEntry* entry = ClaimLogEntry(kLogWire);
    if (entry != nullptr) {
        WriteHex(entry, "sent", bytes, length);
        CommitLogEntry(entry);
    }
}

void WireLogReceived(const unsigned char* bytes, int count) {
    if (count <= 0 || bytes == nullptr || !LogWanted(kLogWire)) {
        return;
    }
    LogEntry* entry = ClaimLogEntry(kLogWire);
    if (entry != nullptr) {
        WriteHex(entry, "received", bytes, count);
        CommitLogEntry(entry);
    }
}
