#include "device/Platform.h"

#include "core/InstrumentFacts.h"
#include "device/DeviceState.h"
#include "device/InstrumentCommands.h"
#include "device/ProbeReport.h"
#include "device/WireLog.h"
#include "device/windows/WinPort.h"
#include "device/windows/UsbInterfaces.h"
#include "sync/Threads.h"

#include <cstdio>
#include <cstring>
#include <cwchar>
#include <new>

namespace {

// The port's queues, each direction.
constexpr DWORD kQueueBytes = 4096;
// A write the port has not finished after this long ends with what it took (the port's own time-out).
constexpr DWORD kWriteTimeoutMs = 1000;
// How long a write may be waited for before it is cancelled: the port's time-out and some slack.
constexpr DWORD kWriteSettleMs = kWriteTimeoutMs + 500;
// A read returns what is buffered at once; this bounds one that the driver keeps pending anyway.
constexpr DWORD kReadSettleMs = 1000;

// The write table: overlapped writes handed to the port and their records. A record (its OVERLAPPED, its
// event and the copy of the bytes the system reads from) belongs to the system from WriteFile until the
// write is seen complete; only then is its slot free again. A table with every slot in flight waits for
// (or cancels) its oldest write instead of dropping records the system still owns.
constexpr int kWriteSlots = 256;
// Room a slot's copy gets at least (a sample packet and more), so the steady stream never allocates.
constexpr int kSlotMinimumBytes = 4096;

struct WriteSlot {
    OVERLAPPED overlapped;
    HANDLE event;  // made at first use, kept while the port is open
    bool inFlight; // the system owns the record
    unsigned char* bytes;
    int capacity;
    int length;
    ULONGLONG handedAt; // tick count at WriteFile, to find the oldest
};

// Everything below is under g_CriticalSection.
WriteSlot s_Slots[kWriteSlots];
int s_nSlotsFilled = 0; // slots [0, s_nSlotsFilled) may be in flight
unsigned long s_nWriteTimeouts = 0;
wchar_t s_szInterfacePath[kInterfacePathCapacity] = {};

HANDLE HandleOf(long value) {
    return value == -1 ? INVALID_HANDLE_VALUE : LongToHandle(value);
}

// A finished write: a short count is the port's time-out (nothing taken for a whole second). A write this
// library cancelled itself (a close) says nothing about the port.
void Finished(WriteSlot& slot, bool ok, DWORD transferred, bool cancelledHere = false) {
    slot.inFlight = false;
    if (ok && transferred == static_cast<DWORD>(slot.length)) {
        g_bPortWriteStalled = false;
        return;
    }
    if (cancelledHere) {
        WireLogSent(slot.bytes, slot.length, static_cast<int>(transferred), 0);
        return;
    }
    if (ok || GetLastError() == ERROR_OPERATION_ABORTED || GetLastError() == ERROR_SEM_TIMEOUT) {
        if (!g_bPortWriteStalled) {
            ++s_nWriteTimeouts;
        }
        g_bPortWriteStalled = true;
        WireLogSent(slot.bytes, slot.length, static_cast<int>(transferred), 0);
        return;
    }
    WireLogSent(slot.bytes, slot.length, -1, static_cast<int>(GetLastError()));
}

// Collects every write the system reports done, without waiting.
void ReapWritesLocked(HANDLE handle) {
    for (int i = 0; i < s_nSlotsFilled; ++i) {
        WriteSlot& slot = s_Slots[i];
        if (!slot.inFlight) {
            continue;
        }
        DWORD transferred = 0;
        if (GetOverlappedResult(handle, &slot.overlapped, &transferred, FALSE)) {
            Finished(slot, true, transferred);
        } else if (GetLastError() != ERROR_IO_INCOMPLETE) {
            Finished(slot, false, transferred);
        }
    }
    while (s_nSlotsFilled > 0 && !s_Slots[s_nSlotsFilled - 1].inFlight) {
        --s_nSlotsFilled;
    }
}

// Waits for one write up to `waitMs`, then cancels it; returns once the system has let go of its record,
// with the count it transferred. A write that outlives its wait counts as the port's time-out.
DWORD SettleWrite(HANDLE handle, WriteSlot& slot, DWORD waitMs, bool cancelledHere = false) {
    if (!slot.inFlight) {
        return 0;
    }
    if (WaitForSingleObject(slot.event, waitMs) != WAIT_OBJECT_0) {
        CancelIoEx(handle, &slot.overlapped);
    }
    DWORD transferred = 0;
    const BOOL ok = GetOverlappedResult(handle, &slot.overlapped, &transferred, TRUE);
    Finished(slot, ok != FALSE, transferred, cancelledHere);
    return transferred;
}

// Waits for every write in flight (each within the port's time-out), or with `cancel` cancels them first;
// returns when the system has let go of all of their records.
void SettleAllWritesLocked(HANDLE handle, bool cancel) {
    if (handle != INVALID_HANDLE_VALUE) {
        if (cancel) {
            CancelIoEx(handle, nullptr);
        }
        for (int i = 0; i < s_nSlotsFilled; ++i) {
            SettleWrite(handle, s_Slots[i], kWriteSettleMs, cancel);
        }
    }
    s_nSlotsFilled = 0;
}

// A free slot with room for `length` bytes, or null when none can be had.
WriteSlot* TakeSlotLocked(HANDLE handle, int length) {
    WriteSlot* slot = nullptr;
    for (int i = 0; i < s_nSlotsFilled && slot == nullptr; ++i) {
        if (!s_Slots[i].inFlight) {
            slot = &s_Slots[i];
        }
    }
    if (slot == nullptr && s_nSlotsFilled < kWriteSlots) {
        slot = &s_Slots[s_nSlotsFilled++];
    }
    if (slot == nullptr) {
        // Every slot in flight: the oldest write is waited for (the port's time-out ends it), or cancelled.
        slot = &s_Slots[0];
        for (int i = 1; i < kWriteSlots; ++i) {
            if (s_Slots[i].handedAt < slot->handedAt) {
                slot = &s_Slots[i];
            }
        }
        SettleWrite(handle, *slot, kWriteSettleMs);
    }
    if (slot->event == nullptr) {
        slot->event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        if (slot->event == nullptr) {
            return nullptr;
        }
    }
    if (slot->capacity < length) {
        const int capacity = length > kSlotMinimumBytes ? length : kSlotMinimumBytes;
        auto* bytes = new (std::nothrow) unsigned char[static_cast<size_t>(capacity)];
        if (bytes == nullptr) {
            return nullptr;
        }
        delete[] slot->bytes;
        slot->bytes = bytes;
        slot->capacity = capacity;
    }
    return slot;
}

void ReleaseSlotEventsLocked() {
    for (WriteSlot& slot : s_Slots) {
        if (slot.event != nullptr) {
            ::CloseHandle(slot.event);
            slot.event = nullptr;
        }
    }
}

} // namespace

HANDLE PortHandle() {
    return HandleOf(g_hDevice);
}

void AdoptPortHandleLocked(HANDLE handle) {
    g_hDevice = HandleToLong(handle);
}

bool ConfigurePortHandle(HANDLE handle) {
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (!GetCommState(handle, &dcb)) {
        return false;
    }
    // Raw bytes both ways: the stream is binary, and nothing on the line may pause it.
    dcb.BaudRate = CBR_115200;
    dcb.ByteSize = 8;
    dcb.Parity = NOPARITY;
    dcb.StopBits = ONESTOPBIT;
    dcb.fBinary = TRUE;
    dcb.fParity = FALSE;
    dcb.fOutxCtsFlow = FALSE;
    dcb.fOutxDsrFlow = FALSE;
    dcb.fDtrControl = DTR_CONTROL_ENABLE;
    dcb.fDsrSensitivity = FALSE;
    dcb.fOutX = FALSE;
    dcb.fInX = FALSE;
    dcb.fErrorChar = FALSE;
    dcb.fNull = FALSE;
    dcb.fRtsControl = RTS_CONTROL_ENABLE;
    dcb.fAbortOnError = FALSE;
    if (!SetCommState(handle, &dcb) || !SetupComm(handle, kQueueBytes, kQueueBytes)) {
        return false;
    }
    // Reads return at once with what is buffered; a write the port does not take ends after a second.
    COMMTIMEOUTS timeouts{};
    timeouts.ReadIntervalTimeout = MAXDWORD;
    timeouts.ReadTotalTimeoutMultiplier = 0;
    timeouts.ReadTotalTimeoutConstant = 0;
    timeouts.WriteTotalTimeoutMultiplier = 0;
    timeouts.WriteTotalTimeoutConstant = kWriteTimeoutMs;
    return SetCommTimeouts(handle, &timeouts) != FALSE;
}

void CommitConnectedInterface(const wchar_t* interfacePath, const char* portName) {
    CAutoCriticalSection lock(g_CriticalSection);
    std::swprintf(s_szInterfacePath, kInterfacePathCapacity, L"%ls", interfacePath);
    std::snprintf(g_szDevicePath, sizeof g_szDevicePath, "%s", portName);
}

void CopyConnectedInterface(wchar_t* path, std::size_t capacity) {
    if (path == nullptr || capacity == 0) {
        return;
    }
    CAutoCriticalSection lock(g_CriticalSection);
    std::swprintf(path, capacity, L"%ls", s_szInterfacePath);
}

int PendingPortWrites() {
    CAutoCriticalSection lock(g_CriticalSection);
    const HANDLE handle = PortHandle();
    if (handle != INVALID_HANDLE_VALUE) {
        ReapWritesLocked(handle);
    }
    int pending = 0;
    for (int i = 0; i < s_nSlotsFilled; ++i) {
        pending += s_Slots[i].inFlight ? 1 : 0;
    }
    return pending;
}

unsigned long _PortWriteTimeouts() {
    CAutoCriticalSection lock(g_CriticalSection);
    return s_nWriteTimeouts;
}

bool _PortWriteStalled() {
    CAutoCriticalSection lock(g_CriticalSection);
    const HANDLE handle = PortHandle();
    if (handle != INVALID_HANDLE_VALUE) {
        ReapWritesLocked(handle);
    }
    return g_bPortWriteStalled;
}

// Hands the bytes to the port as one overlapped write of a copy, so the caller's buffer is free at once.
// The count is what the port was given; a write the port does not finish within its time-out marks the
// port stalled (seen at a later write), and while it stays stalled with writes still in flight nothing
// more is queued behind them. `wait` waits for the write and returns what it transferred.
int _WriteCOMPort(int length, const unsigned char* buffer, bool wait) {
    if (length <= 0 || buffer == nullptr) {
        return 0;
    }
    CAutoCriticalSection lock(g_CriticalSection);
    const HANDLE handle = PortHandle();
    if (handle == INVALID_HANDLE_VALUE) {
        return 0;
    }
    ReapWritesLocked(handle);
    if (g_bPortWriteStalled && s_nSlotsFilled > 0) {
        WireLogSent(buffer, length, 0, 0);
        return 0;
    }
    WriteSlot* slot = TakeSlotLocked(handle, length);
    if (slot == nullptr) {
        WireLogSent(buffer, length, -1, static_cast<int>(ERROR_NOT_ENOUGH_MEMORY));
        return -1;
    }
    std::memcpy(slot->bytes, buffer, static_cast<size_t>(length));
    slot->length = length;
    std::memset(&slot->overlapped, 0, sizeof slot->overlapped);
    ResetEvent(slot->event);
    slot->overlapped.hEvent = slot->event;
    slot->handedAt = GetTickCount64();
    if (!WriteFile(handle, slot->bytes, static_cast<DWORD>(length), nullptr, &slot->overlapped) &&
        GetLastError() != ERROR_IO_PENDING) {
        // Not started: the record stays ours.
        WireLogSent(buffer, length, -1, static_cast<int>(GetLastError()));
        return -1;
    }
    slot->inFlight = true;
    if (!wait) {
        WireLogSent(buffer, length, length, 0);
        return length;
    }
    const DWORD transferred = SettleWrite(handle, *slot, kWriteSettleMs);
    WireLogSent(buffer, length, static_cast<int>(transferred), 0);
    return static_cast<int>(transferred);
}

int _ReadCOMPort(int length, unsigned char* buffer) {
    if (length <= 0 || buffer == nullptr) {
        return 0;
    }
    const HANDLE handle = PortHandle();
    if (handle == INVALID_HANDLE_VALUE) {
        return 0;
    }
    // Only what is queued is asked for, so the read never waits for more (wine keeps a read of an empty
    // queue pending despite the time-outs).
    DWORD errors = 0;
    COMSTAT status{};
    if (!ClearCommError(handle, &errors, &status) || status.cbInQue == 0) {
        return 0;
    }
    if (status.cbInQue < static_cast<DWORD>(length)) {
        length = static_cast<int>(status.cbInQue);
    }
    OVERLAPPED overlapped{};
    overlapped.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (overlapped.hEvent == nullptr) {
        return 0;
    }
    DWORD got = 0;
    bool ok = ReadFile(handle, buffer, static_cast<DWORD>(length), nullptr, &overlapped) != FALSE;
    if (ok || GetLastError() == ERROR_IO_PENDING) {
        // The buffer is the caller's: a read still pending is cancelled and waited for before it returns.
        if (WaitForSingleObject(overlapped.hEvent, kReadSettleMs) != WAIT_OBJECT_0) {
            CancelIoEx(handle, &overlapped);
        }
        ok = GetOverlappedResult(handle, &overlapped, &got, TRUE) != FALSE;
    }
    ::CloseHandle(overlapped.hEvent);
    if (!ok || got == 0) {
        return 0;
    }
    WireLogReceived(buffer, static_cast<int>(got));
    return static_cast<int>(got);
}

bool IsTargetDevice() {
    _DrainCOMPort();
    {
        // Nothing of an earlier exchange may still be on its way out in front of the query.
        CAutoCriticalSection lock(g_CriticalSection);
        SettleAllWritesLocked(PortHandle(), false);
    }
    if (!SendCommand(kCmdIdentify)) {
        return false;
    }
    unsigned char reply[kIdentifyReplyCapacity];
    const int got = ReadReply(reply, kIdentifyReplyCapacity, kIdentifyReplyMinimum, kIdentifyWaitMs);
    NoteIdentifyReply(reply, got);
    return IsIdentifyReply(reply, got);
}

void DeviceCancelIO() {
    CAutoCriticalSection lock(g_CriticalSection);
    SettleAllWritesLocked(PortHandle(), true);
}

void DeviceClose() {
    CAutoCriticalSection lock(g_CriticalSection);
    const HANDLE handle = PortHandle();
    if (handle == INVALID_HANDLE_VALUE) {
        return;
    }
    // No record may outlive the handle in the system's hands.
    SettleAllWritesLocked(handle, true);
    ReleaseSlotEventsLocked();
    std::memset(g_szDevicePath, 0, sizeof g_szDevicePath);
    std::wmemset(s_szInterfacePath, L'\0', kInterfacePathCapacity);
    g_hDevice = -1;
    ::CloseHandle(handle);
    _SetModelIs300R(false);
    g_bPortWriteStalled = false;
}

void SetDeviceTimeoutSetting() {
    CAutoCriticalSection lock(g_CriticalSection);
    const HANDLE handle = PortHandle();
    if (handle != INVALID_HANDLE_VALUE) {
        COMMTIMEOUTS timeouts{MAXDWORD, 0, 0, 0, kWriteTimeoutMs};
        SetCommTimeouts(handle, &timeouts);
    }
}

bool DeviceCheckPath(const char* path) {
    if (path == nullptr) {
        return false;
    }
    CAutoCriticalSection lock(g_CriticalSection);
    return g_szDevicePath[0] != '\0' && std::strncmp(path, g_szDevicePath, sizeof g_szDevicePath) == 0;
}
