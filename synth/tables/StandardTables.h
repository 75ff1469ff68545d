#pragma once

#include <cstdint>

// The stored standard test waveforms: read-only initialised data of the library. A sample / 1000 is the
// value in the sample scale.
constexpr int kIEC227WaveCount = 10;
constexpr int kIEC227SlotSamples = 66000; // per waveform slot, 720 samples/s, zero past the waveform's end
constexpr int kIEC251WaveCount = 16;
constexpr int kIEC251WaveSamples = 1000; // one second at 1000 samples/s
constexpr int kANE20000LeadCount = 9;
constexpr int kANE20000LeadSamples = 1000;

extern "C" {
extern const std::int32_t IEC227W[kIEC227WaveCount * kIEC227SlotSamples];
extern const double IEC227WL[kIEC227WaveCount]; // durations in seconds: sample count / 720
extern const std::int32_t IEC251W[kIEC251WaveCount * kIEC251WaveSamples];
extern const std::int32_t ANE20000[kANE20000LeadCount * kANE20000LeadSamples];
}
