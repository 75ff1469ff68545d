#include "api/ExchangeReplies.h"

#include "api/PollLoop.h"
#include "device/InstrumentCommands.h"
#include "device/SerialPort.h"
#include "sync/Threads.h"
#include "synth/SynthesisState.h"

#include <chrono>

CExchangeRequests::~CExchangeRequests() {
    for (int i = 0; i < m_nErrorRequests; ++i)
        AnswerDataRequest(true);
    for (int i = 0; i < m_nRequests; ++i)
        AnswerDataRequest(false);
}

int CExchangeRequests::ReadReply(unsigned char* reply, int capacity, int minimum, unsigned waitMs) {
    if (reply == nullptr || capacity <= 0)
        return 0;
    SleepEx(waitMs);
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::milliseconds(kReplyGraceMs);
    auto timeLeft = [&] { return std::chrono::steady_clock::now() < giveUp; };
    int got = 0;
    if (s_ECGGoing) {
        // Byte by byte up to the reply's first byte, so that nothing of the reply is taken for a request.
        bool afterRequest = false;
        for (;;) {
            unsigned char b;
            if (_ReadCOMPort(1, &b) != 1) {
                if (!timeLeft())
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
    while (got < minimum && got < capacity && timeLeft()) {
        SleepEx(1);
        got += _ReadCOMPort(capacity - got, reply + got);
    }
    return got;
}

void CExchangeRequests::NoteTrailing(const unsigned char* bytes, int length) {
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
