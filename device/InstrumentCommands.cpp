#include "device/InstrumentCommands.h"

#include "device/Platform.h"
#include "sync/Threads.h"

#include <chrono>
#include <cstring>

void MakePortTagCommand(char lastCharacterOfPortName, unsigned char (&out)[kPortTagSize]) {
    out[0] = kPortTagHead;
    out[1] = kPortTagMarker;
    out[2] = static_cast<unsigned char>(lastCharacterOfPortName);
}

void MakeRangeCommand(unsigned char range, unsigned char (&out)[kRangeSize]) {
    out[0] = kRangeHead;
    out[1] = range;
}

void MakeRelayCommand(unsigned char high, unsigned char middle, unsigned char low,
                      unsigned char (&out)[kRelaySize]) {
    out[0] = kRelayHead;
    out[1] = high;
    out[2] = middle;
    out[3] = low;
    out[4] = 0x00;
    out[5] = 0x00;
}

void MakeDCOffsetCommand(unsigned char high, unsigned char low, unsigned char (&out)[kDCOffsetSize]) {
    out[0] = kDCOffsetHead;
    out[1] = high;
    out[2] = low;
}

void MakePacingLevelCommand(unsigned char head, unsigned char high, unsigned char low,
                            unsigned char (&out)[kPacingLevelSize]) {
    out[0] = head;
    out[1] = high;
    out[2] = low;
}

void MakeStoreBlockCommand(const unsigned char (&block)[kInformationBlockSize],
                           unsigned char (&out)[kInformationBlockSize]) {
    std::memcpy(out, block, sizeof out);
    out[kStoreBlockMarkerIndex] = kStoreBlockMarker;
}

bool SendCommand(const unsigned char* bytes, int length) {
    if (bytes == nullptr || length <= 0) {
        return false;
    }
    return _WriteCOMPort(length, bytes, false) == length;
}

int ReadReply(unsigned char* reply, int capacity, int minimum, unsigned waitMs) {
    if (reply == nullptr || capacity <= 0) {
        return 0;
    }
    SleepEx(waitMs);
    int got = _ReadCOMPort(capacity, reply);
    if (got >= minimum || got >= capacity) {
        return got;
    }
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::milliseconds(kReplyGraceMs);
    while (got < minimum && got < capacity && std::chrono::steady_clock::now() < giveUp) {
        SleepEx(1);
        got += _ReadCOMPort(capacity - got, reply + got);
    }
    return got;
}

bool IsIdentifyReply(const unsigned char* reply, int length) {
    return reply != nullptr && length >= kIdentifyReplyMinimum &&
           std::memcmp(reply, kIdentifyToken, sizeof kIdentifyToken) == 0;
}
