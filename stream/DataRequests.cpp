#include "api/PollLoop.h"

#include "api/DeviceInformation.h"
#include "api/FirmwareFacts.h"
#include "api/PacketStream.h"
#include "api/SessionSync.h"
#include "device/DeviceState.h"
#include "device/InstrumentCommands.h"
#include "device/PortReadiness.h"
#include "device/SerialPort.h"
#include "sync/CriticalSection.h"
#include "sync/Event.h"
#include "sync/Immortal.h"
#include "sync/Threads.h"
#include "synth/OutputRange.h"
#include "synth/SynthesisState.h"

#include <cstring>
#include <mutex>

namespace {

CImmortal<CManualResetEvent> s_hPollingEvent(false);
CImmortal<CManualResetEvent> s_hPausePollingEvent(false);

// Guards the pause count and the link pause, so that the event always matches them.
CImmortal<std::mutex> s_PauseMutexHolder;
std::mutex& s_PauseMutex = s_PauseMutexHolder.value;
int s_nPauseGuards = 0;
bool s_bLinkPause = false;

thread_local bool t_bPollThread = false;

// Idle wait of one poll turn.
constexpr unsigned kIdleWaitMs = 10;
// Turn length while paused.
constexpr unsigned kPausedTurnMs = 1;
// One read of the poll step.
constexpr int kPollReadSize = 128;
// Firmware from which both output ranges are 5.0 (for units with the newer serial form).
constexpr char kFullRangeFirmware[] = "4000002";

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

void UpdatePauseEventLocked() {
    if (s_nPauseGuards > 0 || s_bLinkPause)
        s_hPausePollingEvent.value.SetEvent();
    else
        s_hPausePollingEvent.value.ResetEvent();
}

bool IsSet(CManualResetEvent& event) {
    return event.WaitTimeout(0) == 0;
}

// Firmware version report: "4" and six more digits.
void OnVersionReport(const unsigned char* message) {
    g_bVersion4 = 1;
    char text[kFirmwareVersionDigits + 2];
    std::memcpy(text, message, kFirmwareVersionDigits + 1);
    text[kFirmwareVersionDigits + 1] = '\0';
    int number = 0;
    for (const char* p = text; *p >= '0' && *p <= '9'; ++p)
        number = number * 10 + (*p - '0');
    g_nVersionNumber = number;
    if (std::strcmp(text, kFullRangeFirmware) >= 0) {
        bool olderSerialForm;
        {
            std::lock_guard<std::mutex> guard(g_IdentityMutex);
            olderSerialForm = g_HWInfo[0] != '\0' && std::strchr(g_HWInfo, '-') == nullptr;
        }
        if (!olderSerialForm) {
            g_RangeV4Ch2Off = 5.0;
            g_RangeV4Ch2On = 5.0;
        }
    }
    _KeepFirmwareFactsOfLinkedUnit();
}

} // namespace

CManualResetEvent& g_hPollingEvent = s_hPollingEvent.value;
CManualResetEvent& g_hPausePollingEvent = s_hPausePollingEvent.value;
QoltErrorCB g_ErrorCallback = nullptr;
int g_bVersion4 = 0;
int g_nVersionNumber = 0;
int g_nSequenceReports = 0;

CAutoPausePooling::CAutoPausePooling() {
    std::lock_guard<std::mutex> guard(s_PauseMutex);
    ++s_nPauseGuards;
    UpdatePauseEventLocked();
}

CAutoPausePooling::~CAutoPausePooling() {
    std::lock_guard<std::mutex> guard(s_PauseMutex);
    --s_nPauseGuards;
    UpdatePauseEventLocked();
}

void SetLinkPollingPause(bool paused) {
    std::lock_guard<std::mutex> guard(s_PauseMutex);
    s_bLinkPause = paused;
    UpdatePauseEventLocked();
}

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
            OnVersionReport(p);
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

void* USBDataPollThread(void* /*arg*/) {
    t_bPollThread = true;
    bool readableButEmpty = false;
    for (;;) {
        if (!IsSet(g_hPollingEvent))
            break;
        if (IsSet(g_hPausePollingEvent)) {
            SleepEx(kPausedTurnMs);
            continue;
        }
        bool gotInput;
        {
            // The whole step, with the packet it may build and the callbacks it may call, runs under the
            // API lock: setting calls and Change take the same (recursive) lock, so a packet never sees a
            // half-made change and a stream start never races a data request. The idle wait below is made
            // without it.
            CAutoCriticalSection lock(g_APICriticalSection);
            // A pause that began while this thread waited for the lock holds already.
            if (IsSet(g_hPausePollingEvent))
                continue;
            gotInput = DoDataPoll(nullptr, 0);
        }
        if (gotInput) {
            readableButEmpty = false;
        } else if (readableButEmpty) {
            // The port said "readable" and gave nothing (an error state): do not spin on it.
            SleepEx(kIdleWaitMs);
            readableButEmpty = false;
        } else {
            readableButEmpty = _WaitCOMPortReadable(kIdleWaitMs);
        }
    }
    t_bPollThread = false;
    return nullptr;
}
