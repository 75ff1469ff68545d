#include "stream/DataRequests.h"

#include "core/InstrumentFacts.h"
#include "stream/PacketStream.h"
#include "core/SessionSync.h"
#include "device/DeviceState.h"
#include "device/InstrumentCommands.h"
#include "device/Platform.h"
#include "device/Platform.h"
#include "sync/CriticalSection.h"
#include "sync/Event.h"
#include "sync/Immortal.h"
#include "sync/Threads.h"
#include "stream/OutputStage.h"
#include "synth/SynthesisState.h"

#include <cstring>
#include <mutex>

namespace {

thread_local bool t_bPollThread = false;

// One read of the poll step.
constexpr int kPollReadSize = 128;
constexpr int kInstrumentErrorCode = static_cast<int>(0x80000001u);

// What the poll thread answers at its next turn. Under g_APICriticalSection.
int s_nQueuedErrorReports = 0;
int s_nQueuedPackets = 0;
unsigned s_nQueuedStream = 0; // the stream (g_nStreamGeneration) the queued packets belong to

// Sends the next packet. False when the port did not take it: it stayed full for the write's whole
// wait, or is still stalled from an earlier one. What is queued then is dropped: each such request would
// cost another write into a port the instrument does not read, under the lock every call needs.
bool SendPacket() {
    SendNextPacket();
    if (!_PortWriteStalled())
        return true;
    s_nQueuedPackets = 0;
    return false;
}

// The poll thread's answer to what was queued. True when there was anything.
bool AnswerQueued() {
    if (s_nQueuedErrorReports == 0 && s_nQueuedPackets == 0)
        return false;
    // Counted down one at a time: a callback may queue more (an exchange it makes) or stop the stream.
    while (s_nQueuedErrorReports > 0) {
        --s_nQueuedErrorReports;
        if (g_ErrorCallback != nullptr)
            g_ErrorCallback(kInstrumentErrorCode);
    }
    while (s_nQueuedPackets > 0) {
        --s_nQueuedPackets;
        if (!s_ECGGoing || s_nQueuedStream != g_nStreamGeneration) {
            s_nQueuedPackets = 0;
            break;
        }
        if (!SendPacket())
            break;
    }
    return true;
}

} // namespace

QoltErrorCB g_ErrorCallback = nullptr;
int g_nSequenceReports = 0;

bool IsPollThread() {
    return t_bPollThread;
}

void ActAsPollThread(bool acting) {
    t_bPollThread = acting;
}

void QueueDataRequests(int requests, int errorRequests) {
    if (requests < 0 || errorRequests < 0)
        return;
    s_nQueuedErrorReports += errorRequests;
    if (s_nQueuedStream != g_nStreamGeneration) {
        s_nQueuedPackets = 0;
        s_nQueuedStream = g_nStreamGeneration;
    }
    if (s_ECGGoing)
        s_nQueuedPackets += requests + errorRequests;
}

void QueueStreamStart() {
    s_nQueuedStream = g_nStreamGeneration;
    s_nQueuedPackets = 1;
}

void ClearQueuedRequests() {
    s_nQueuedErrorReports = 0;
    s_nQueuedPackets = 0;
}

bool AnswerDataRequest(bool withError) {
    if (!t_bPollThread) {
        QueueDataRequests(withError ? 0 : 1, withError ? 1 : 0);
        return true;
    }
    if (withError && g_ErrorCallback != nullptr)
        g_ErrorCallback(kInstrumentErrorCode);
    return !s_ECGGoing || SendPacket();
}

bool DoDataPoll(void* /*context*/, int /*flags*/) {
    const bool answered = t_bPollThread && AnswerQueued();
    unsigned char message[kPollReadSize];
    const int n = _ReadCOMPort(kPollReadSize, message);
    if (n <= 0)
        return answered;
    // Messages are tiny and the instrument sends them one by one, but a busy host can find two in one
    // read ("N" "N" when it fell behind): each data request gets its packet, until the port is found
    // stalled or a callback stops or restarts the stream (the requests read with it were the old
    // stream's); those behind that get their error reports only.
    const unsigned stream = g_nStreamGeneration;
    bool stalled = false;
    int at = 0;
    while (at < n) {
        const unsigned char* p = message + at;
        const int left = n - at;
        if (p[0] == kReportDataRequest) {
            const bool withError = left > 1 && p[1] == kReportErrorSuffix;
            if (!stalled && g_nStreamGeneration == stream)
                stalled = !AnswerDataRequest(withError);
            else if (withError && g_ErrorCallback != nullptr)
                g_ErrorCallback(kInstrumentErrorCode);
            at += withError ? 2 : 1;
        } else if (p[0] == kReportFirmwareVersion && left > kFirmwareVersionDigits) {
            _RecordVersionReport(reinterpret_cast<const char*>(p));
            at += kFirmwareVersionDigits + 1;
        } else if (p[0] == kReportSequence && left >= kSequenceReportSize - 1) {
            ++g_nSequenceReports;
            at += left < kSequenceReportSize ? left : kSequenceReportSize;
        } else if (p[0] == kReportShort && left >= kShortReportSize) {
            at += kShortReportSize;
        } else {
            // A byte that starts no known message: most likely a reply to one of the host's own queries
            // that came late (a port tag, an information block), read together with what followed it.
            // Only a data request is looked for behind it: one lost there would stall the stream for good.
            const void* request = std::memchr(p + 1, kReportDataRequest, static_cast<size_t>(left - 1));
            if (request == nullptr)
                break;
            at = static_cast<int>(static_cast<const unsigned char*>(request) - message);
        }
    }
    return true;
}
