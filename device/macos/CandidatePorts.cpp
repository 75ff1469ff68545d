#include "device/DeviceDiscovery.h"

#include "device/DeviceState.h"
#include "device/ProbeReport.h"
#include "device/posix/DeviceConfig.h"

#include <glob.h>

#include <cstring>

// Without a port number the candidates are the listed nodes, in listing order.
bool FindDevice(int port, DeviceAcceptFn accept) {
    bool found = false;
    int probed = port;
    if (port == -1) {
        char format[kDeviceNodeFormatCapacity];
        CopyDeviceNodeFormat(format);
        char pattern[kDevicePatternCapacity];
        if (!FormatDeviceNodePattern(format, pattern, sizeof pattern)) {
            return false;
        }
        glob_t listing{};
        if (glob(pattern, 0, nullptr, &listing) == 0) {
            for (std::size_t i = 0; i < listing.gl_pathc && !found; ++i) {
                int candidate = 0;
                if (ParseDeviceNode(format, listing.gl_pathv[i], &candidate)) {
                    probed = candidate;
                    found = DoFindDevice(candidate);
                }
            }
        }
        globfree(&listing);
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
