#include "device/Platform.h"

#include "device/posix/DeviceConfig.h"
#include "device/posix/NodeListing.h"

// The listed nodes, in listing order; a name that is not a node of the format (such as "usbmodemFD121")
// is skipped.
int ListCandidatePorts(int* ports, int capacity) {
    char format[kDeviceNodeFormatCapacity];
    CopyDeviceNodeFormat(format);
    return ListNodePorts(format, ports, capacity);
}
