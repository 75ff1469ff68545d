#pragma once

#include <cstdint>

// Packet counter: carried by each 64-byte sub-packet, one more each time (wrapping after 255); 0 at the
// start of every stream. Under g_APICriticalSection.
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
// High range: 2048 + 2 per unit; otherwise 2048 + 2000 per full scale. Clamped to 0..4095; a value that is
// not a number (or infinite) codes 0 V.
struct SampleWord {
    uint8_t high;
    uint8_t low;
};
SampleWord _CodeSample(double value, bool highRange, bool shortSample, bool baselineReset, double fullScale);
