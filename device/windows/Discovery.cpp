#include "device/Platform.h"

#include "core/SessionSync.h"
#include "device/DeviceState.h"
#include "device/ProbeReport.h"
#include "device/windows/UsbInterfaces.h"
#include "device/windows/WinPort.h"

#include <cstdio>

namespace {

// The probe report names a port by its interface path, as far as it fits.
void NarrowPath(const wchar_t* path, char* out, std::size_t capacity) {
    const int written =
        WideCharToMultiByte(CP_UTF8, 0, path, -1, out, static_cast<int>(capacity), nullptr, nullptr);
    if (written <= 0) {
        std::snprintf(out, capacity, "?");
    }
    out[capacity - 1] = '\0';
}

} // namespace

int ListCandidatePorts(int* ports, int capacity) {
    return ListInstrumentComNumbers(UsbInterfaceSource(), ports, capacity);
}

// The claim is the open itself: the port is opened without sharing, so a second process (or a second open
// here) is refused by the system until the handle is closed.
bool DoFindDevice(int port) {
    DeviceClose();
    char name[16];
    std::snprintf(name, sizeof name, "COM%d", port);
    if (port < kMinComNumber || port > kMaxComNumber) {
        NoteProbe(port, name, ProbeResult::NodeMissing, static_cast<int>(ERROR_INVALID_PARAMETER));
        return false;
    }
    wchar_t path[kInterfacePathCapacity];
    if (!FindInstrumentInterface(UsbInterfaceSource(), port, path, kInterfacePathCapacity)) {
        NoteProbe(port, name, ProbeResult::NodeMissing, static_cast<int>(ERROR_FILE_NOT_FOUND));
        return false;
    }
    char shown[kInterfacePathCapacity];
    NarrowPath(path, shown, sizeof shown);

    const HANDLE handle = CreateFileW(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                      FILE_FLAG_OVERLAPPED, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        const bool missing = error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
        const bool held = error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION;
        NoteProbe(port, shown,
                  missing ? ProbeResult::NodeMissing
                  : held  ? ProbeResult::LockFailed
                          : ProbeResult::OpenFailed,
                  static_cast<int>(error));
        return false;
    }
    // A handle that does not fit the long it is kept in cannot be the port (never seen: handles are small).
    if (LongToHandle(HandleToLong(handle)) != handle || HandleToLong(handle) == -1) {
        ::CloseHandle(handle);
        NoteProbe(port, shown, ProbeResult::OpenFailed, static_cast<int>(ERROR_INVALID_HANDLE));
        return false;
    }
    if (!ConfigurePortHandle(handle)) {
        const DWORD error = GetLastError();
        ::CloseHandle(handle);
        NoteProbe(port, shown, ProbeResult::NotTerminal, static_cast<int>(error));
        return false;
    }
    {
        CAutoCriticalSection lock(g_CriticalSection);
        AdoptPortHandleLocked(handle);
    }
    if (!IsTargetDevice()) {
        DeviceClose();
        NoteProbe(port, shown, ProbeResult::NotIdentified, 0);
        return false;
    }
    CommitConnectedInterface(path, name);
    BumpLinkGeneration();
    return true;
}

// Re-enumerates: the connected interface is still listed. A notice about any other device costs this
// listing and nothing else.
bool DeviceIsAlive() {
    wchar_t path[kInterfacePathCapacity];
    CopyConnectedInterface(path, kInterfacePathCapacity);
    return path[0] != L'\0' && IsInterfaceListed(UsbInterfaceSource(), path);
}
