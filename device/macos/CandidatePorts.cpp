#include "device/Platform.h"

#include "device/posix/DeviceConfig.h"

#include <glob.h>

// The listed nodes, in listing order. A node whose name does not parse to a number under the node format
// (such as "usbmodemFD121") is skipped.
int ListCandidatePorts(int* ports, int capacity) {
    char format[kDeviceNodeFormatCapacity];
    CopyDeviceNodeFormat(format);
    char pattern[kDevicePatternCapacity];
    if (!FormatDeviceNodePattern(format, pattern, sizeof pattern)) {
        return 0;
    }
    int count = 0;
    glob_t listing{};
    if (glob(pattern, 0, nullptr, &listing) == 0) {
        for (std::size_t i = 0; i < listing.gl_pathc && count < capacity; ++i) {
            int candidate = 0;
            if (ParseDeviceNode(format, listing.gl_pathv[i], &candidate)) {
                ports[count++] = candidate;
            }
        }
    }
    globfree(&listing);
    return count;
}
