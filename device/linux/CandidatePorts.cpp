#include "device/DeviceDiscovery.h"

#include "device/DeviceState.h"
#include "device/ProbeReport.h"

#include <cstring>

namespace {
// Device nodes 0 to 127 are probed when no port is named.
constexpr int kHighestScannedPort = 127;
} // namespace

bool FindDevice(int port, DeviceAcceptFn accept) {
    bool found = false;
    int probed = port;
    if (port == -1) {
        for (int candidate = 0; candidate <= kHighestScannedPort && !found; ++candidate) {
            probed = candidate;
            found = DoFindDevice(candidate);
        }
    } else {
        found = DoFindDevice(port);
    }
    if (!found) {
        return false;
    }
    // A refused port is closed by the predicate: its path is kept for the report first.
    char path[sizeof g_szDevicePath];
    std::memcpy(path, g_szDevicePath, sizeof path);
    path[sizeof path - 1] = '\0';
    const bool accepted = accept == nullptr || accept(g_szDevicePath);
    NoteProbe(probed, path, accepted ? ProbeResult::Connected : ProbeResult::Refused, 0);
    return accepted;
}
