#include "device/DeviceState.h"
#include "device/Platform.h"
#include "device/ProbeReport.h"

#include <cstring>

namespace {

// Room for every port a platform scans (POSIX numbers 0..127, the listing, the enumeration).
constexpr int kMaxCandidates = 256;

bool ProbeAndAsk(int port, DeviceAcceptFn accept) {
    if (!DoFindDevice(port)) {
        return false;
    }
    // A refused port may be closed by the predicate: its path is kept for the report first.
    char path[sizeof g_szDevicePath];
    std::memcpy(path, g_szDevicePath, sizeof path);
    path[sizeof path - 1] = '\0';
    const bool accepted = accept == nullptr || accept(g_szDevicePath);
    NoteProbe(port, path, accepted ? ProbeResult::Connected : ProbeResult::Refused, 0);
    return accepted;
}

} // namespace

bool FindDevice(int port, DeviceAcceptFn accept) {
    if (port != -1) {
        return ProbeAndAsk(port, accept);
    }
    int candidates[kMaxCandidates];
    const int count = ListCandidatePorts(candidates, kMaxCandidates);
    for (int i = 0; i < count; ++i) {
        if (ProbeAndAsk(candidates[i], accept)) {
            return true;
        }
    }
    return false;
}
