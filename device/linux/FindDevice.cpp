#include "device/DeviceDiscovery.h"

#include "device/DeviceState.h"

namespace {
// Device nodes 0 to 127 are probed when no port is named.
constexpr int kHighestScannedPort = 127;
} // namespace

bool FindDevice(int port, DeviceAcceptFn accept) {
    bool found = false;
    if (port == -1) {
        for (int candidate = 0; candidate <= kHighestScannedPort && !found; ++candidate) {
            found = DoFindDevice(candidate);
        }
    } else {
        found = DoFindDevice(port);
    }
    if (!found) {
        return false;
    }
    return accept == nullptr || accept(g_szDevicePath);
}
