#include "api/ExchangeReplies.h"

#include "api/DeviceInformation.h"
#include "stream/DataRequests.h"
#include "device/InstrumentCommands.h"
#include "device/Platform.h"
#include "sync/Threads.h"
#include "synth/SynthesisState.h"

#include <chrono>
#include <cstring>

namespace {

constexpr int kBlockSize = kInformationBlockSize;
static_assert(kBlockSize == kDeviceHWInfoSize, "information block size");
// The instrument asks for at most two packets ahead: more request-like bytes than this in front of a
// block are the block's own.
constexpr int kMaxLeadingRequestBytes = 8;

using Deadline = std::chrono::steady_clock::time_point;

Deadline GraceDeadline() {
    return std::chrono::steady_clock::now() + std::chrono::milliseconds(kReplyGraceMs);
}

bool TimeLeft(Deadline deadline) {
    return std::chrono::steady_clock::now() < deadline;
}

// The bytes hold whole data requests only.
bool AreRequests(const unsigned char* bytes, int length) {
    for (int i = 0; i < length; ++i) {
        if (bytes[i] != kReportDataRequest)
            return false;
        if (i + 1 < length && bytes[i + 1] == kReportErrorSuffix)
            ++i;
    }
    return true;
}

bool PlausibleBlock(const unsigned char* bytes) {
    unsigned char block[kBlockSize];
    std::memcpy(block, bytes, sizeof block);
    DeviceIdentity id;
    return DeriveDeviceIdentity(block, &id);
}

// Where the block starts in `bytes` (got bytes read, the first `run` of which may be data requests),
// once reading is over. The block is contiguous and whatever surrounds it is data requests, so it starts
// at some p <= run and the bytes after p + kBlockSize are requests too. Preferred: a plausible block with
// only requests behind it, then any plausible block, the latest start first (requests are more likely
// to have come before the reply than behind it within the reply's short wait). When no reading gives a
// plausible block the bytes cannot tell: the block's length decides, counting the extra bytes as the
// requests in front of it (a short block takes the whole run as requests).
int ChooseBlockStart(const unsigned char* bytes, int got, int run) {
    const int latest = got - kBlockSize < run ? got - kBlockSize : run;
    int plausible = -1;
    for (int p = latest; p >= 0; --p) {
        if (!PlausibleBlock(bytes + p))
            continue;
        if (AreRequests(bytes + p + kBlockSize, got - p - kBlockSize))
            return p;
        if (plausible < 0)
            plausible = p;
    }
    if (plausible >= 0)
        return plausible;
    return latest >= 0 ? latest : run;
}

} // namespace

CExchangeRequests::~CExchangeRequests() {
    // Answered by the poll thread at its next turn, never here: this may be an application thread, or the
    // poll thread inside a graph callback, in the middle of a packet.
    if (m_nRequests > 0 || m_nErrorRequests > 0)
        QueueDataRequests(m_nRequests, m_nErrorRequests);
}

int CExchangeRequests::ReadReply(unsigned char* reply, int capacity, int minimum, unsigned waitMs) {
    if (reply == nullptr || capacity <= 0)
        return 0;
    SleepEx(waitMs);
    const Deadline giveUp = GraceDeadline();
    int got = 0;
    if (s_ECGGoing) {
        // Byte by byte up to the reply's first byte, so that nothing of the reply is taken for a request.
        bool afterRequest = false;
        for (;;) {
            unsigned char b;
            if (_ReadCOMPort(1, &b) != 1) {
                if (!TimeLeft(giveUp))
                    return 0;
                SleepEx(1);
                continue;
            }
            if (b == kReportDataRequest) {
                ++m_nRequests;
                afterRequest = true;
                continue;
            }
            if (b == kReportErrorSuffix && afterRequest) {
                --m_nRequests;
                ++m_nErrorRequests;
                afterRequest = false;
                continue;
            }
            reply[got++] = b;
            break;
        }
    }
    if (got < capacity)
        got += _ReadCOMPort(capacity - got, reply + got);
    while (got < minimum && got < capacity && TimeLeft(giveUp)) {
        SleepEx(1);
        got += _ReadCOMPort(capacity - got, reply + got);
    }
    return got;
}

int CExchangeRequests::ReadBlock(unsigned char* block, unsigned waitMs) {
    if (block == nullptr)
        return 0;
    if (!s_ECGGoing)
        return ReadReply(block, kBlockSize, kBlockSize, waitMs);
    SleepEx(waitMs);
    const Deadline giveUp = GraceDeadline();
    // A block may begin with "N" (0x4E) or "N" "X": its first bytes cannot be told from data requests by
    // themselves. So the leading request-like bytes (the run) are read one at a time, then no more than
    // the block's length past them: nothing behind the block is taken from the poll thread.
    unsigned char bytes[kBlockSize + kMaxLeadingRequestBytes];
    int got = 0;
    int run = 0;
    bool runEnded = false;
    bool unpairedRequest = false;
    while (!runEnded) {
        unsigned char b;
        if (_ReadCOMPort(1, &b) != 1) {
            if (!TimeLeft(giveUp))
                break;
            SleepEx(1);
            continue;
        }
        bytes[got++] = b;
        if (run < kMaxLeadingRequestBytes && b == kReportDataRequest) {
            run = got;
            unpairedRequest = true;
        } else if (run < kMaxLeadingRequestBytes && b == kReportErrorSuffix && unpairedRequest) {
            run = got;
            unpairedRequest = false;
        } else {
            runEnded = true;
        }
    }
    if (!runEnded) {
        // Nothing but requests came: no block.
        NoteRequests(bytes, got);
        return 0;
    }
    // The count of bytes tells where the block starts as soon as it makes a plausible block: all that
    // came before it are requests. Reading on past that would only wait for requests behind it.
    int start = -1;
    auto startByCount = [&] {
        const int p = got - kBlockSize;
        return p >= 0 && p <= run && PlausibleBlock(bytes + p) ? p : -1;
    };
    start = startByCount();
    while (start < 0 && got < run + kBlockSize) {
        const int n = _ReadCOMPort(run + kBlockSize - got, bytes + got);
        if (n > 0) {
            got += n;
            start = startByCount();
            continue;
        }
        if (!TimeLeft(giveUp))
            break;
        SleepEx(1);
    }
    if (start < 0)
        start = ChooseBlockStart(bytes, got, run);
    NoteRequests(bytes, start);
    const int length = got - start < kBlockSize ? got - start : kBlockSize;
    std::memcpy(block, bytes + start, static_cast<size_t>(length));
    NoteRequests(bytes + start + length, got - start - length);
    return length;
}

void CExchangeRequests::NoteRequests(const unsigned char* bytes, int length) {
    for (int i = 0; i < length; ++i) {
        if (bytes[i] != kReportDataRequest)
            continue;
        if (i + 1 < length && bytes[i + 1] == kReportErrorSuffix) {
            ++m_nErrorRequests;
            ++i;
        } else {
            ++m_nRequests;
        }
    }
}
