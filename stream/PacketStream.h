#pragma once

#include <cmath>
#include <cstdint>

// Packet counter of the next sub-packet: each 64-byte sub-packet carries one more (wrapping after 255);
// 0 at the start of every stream; advanced by the packets that are sent. Under g_APICriticalSection.
extern uint8_t g_nPacketNumber;

// Bumped whenever the stream starts or stops. A packet whose stream stopped (or restarted) while it was
// being built, through a callback that changed the output, is not sent. Under g_APICriticalSection.
extern unsigned g_nStreamGeneration;

// Builds the next 3200-byte sample packet and writes it to the port. Caller holds g_APICriticalSection.
void SendNextPacket();

// Reads and handles what the instrument has sent while no stream runs, so that a data request left from
// a stopped stream is not answered in the stream about to start. Caller holds g_APICriticalSection with
// the stream stopped.
void _DiscardStaleDataRequests();

// The 12-bit code of a sample value and its flag bits, as the high byte and low byte of the sample word.
// High range: 2048 + 2 per unit; otherwise 2048 + 2000 per full scale. Clamped to 0..4095 and truncated; a
// value that is not a number (or infinite) codes 0 V.
struct SampleWord {
    uint8_t high;
    uint8_t low;
};
inline SampleWord _CodeSample(double value, bool highRange, bool shortSample, bool baselineReset,
                              double fullScale) {
    constexpr double kZeroCode = 2048.0;
    constexpr double kMaxCode = 4095.0;
    if (!std::isfinite(value)) {
        value = 0.0;
    }
    double x = highRange ? kZeroCode + 2.0 * value : kZeroCode + value / fullScale * 2000.0;
    if (!(x <= kMaxCode)) {
        x = kMaxCode; // also a full scale of 0
    }
    if (!(x >= 0.0)) {
        x = 0.0;
    }
    const int n = static_cast<int>(x);
    uint8_t high = static_cast<uint8_t>(n >> 8);
    if (highRange || baselineReset) {
        high |= 0x40;
    }
    if (shortSample) {
        high |= 0x80;
    }
    return {high, static_cast<uint8_t>(n & 0xFF)};
}
