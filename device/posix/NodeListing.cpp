#include "device/posix/NodeListing.h"

#include "device/posix/DeviceConfig.h"

#include <glob.h>

#include <cstring>

bool IsNodeListed(const char* pattern, const char* path) {
    if (pattern == nullptr || path == nullptr || pattern[0] == '\0' || path[0] == '\0') {
        return false;
    }
    glob_t listing{};
    // Names only: a node is listed whether or not the link it may be points anywhere.
    const int result = glob(pattern, 0, nullptr, &listing);
    bool found = false;
    if (result == 0) {
        for (std::size_t i = 0; i < listing.gl_pathc && !found; ++i) {
            found = listing.gl_pathv[i] != nullptr && std::strcmp(listing.gl_pathv[i], path) == 0;
        }
    }
    globfree(&listing);
    return found;
}

bool ListedNodePort(const char* format, const char* name, int* port) {
    int candidate = 0;
    char remade[kDevicePathCapacity];
    if (port == nullptr || !ParseDeviceNode(format, name, &candidate) || candidate < 0 ||
        !FormatDeviceNode(format, candidate, remade, sizeof remade) || std::strcmp(remade, name) != 0) {
        return false;
    }
    *port = candidate;
    return true;
}

int ListNodePorts(const char* format, int* ports, int capacity) {
    char pattern[kDevicePatternCapacity];
    if (format == nullptr || ports == nullptr || capacity <= 0 ||
        !FormatDeviceNodePattern(format, pattern, sizeof pattern)) {
        return 0;
    }
    int count = 0;
    glob_t listing{};
    if (glob(pattern, 0, nullptr, &listing) == 0) {
        for (std::size_t i = 0; i < listing.gl_pathc && count < capacity; ++i) {
            int port = 0;
            if (listing.gl_pathv[i] != nullptr && ListedNodePort(format, listing.gl_pathv[i], &port)) {
                ports[count++] = port;
            }
        }
    }
    globfree(&listing);
    return count;
}
