#include "device/Platform.h"

namespace {
// Device nodes 0 to 127 are probed when no port is named, lowest first.
constexpr int kHighestScannedPort = 127;
} // namespace

int ListCandidatePorts(int* ports, int capacity) {
    int count = 0;
    for (int candidate = 0; candidate <= kHighestScannedPort && count < capacity; ++candidate) {
        ports[count++] = candidate;
    }
    return count;
}
