#include "device/Platform.h"

#include <chrono>

namespace {
// A drain reads in the reply's size and ends when nothing more is waiting, or at these bounds.
constexpr int kDrainChunk = 36;
constexpr int kDrainMaxReads = 1000;
constexpr auto kDrainMaxTime = std::chrono::milliseconds(100);
} // namespace

// Built on the platform's non-waiting read, so every platform drains alike.
void _DrainCOMPort() {
    unsigned char discard[kDrainChunk];
    const auto giveUp = std::chrono::steady_clock::now() + kDrainMaxTime;
    for (int reads = 0; reads < kDrainMaxReads; ++reads) {
        if (_ReadCOMPort(kDrainChunk, discard) == 0 || std::chrono::steady_clock::now() >= giveUp) {
            break;
        }
    }
}
