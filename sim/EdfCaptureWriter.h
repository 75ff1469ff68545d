// Writes a capture as an EDF+ file (continuous, "EDF+C") that EDFlib and EDF viewers read: one signal with
// the decoded samples in the sample scale and an "EDF Annotations" signal with the commands and markers.
//
// EDF wants one sample rate: a capture of whole 0.2 ms samples is written at 5000 samples/s; one with short
// (0.1 ms) samples at 10000 samples/s, every sample repeated for its duration. Data records last 1 s (so
// that even readers taking the duration as whole seconds play it back); the last one is filled up with the
// last value, and an annotation "capture end" marks where the capture ends.
// When every value sits on one grid of the instrument's codes and fits 16 bits, the signal is written
// exactly; otherwise (for instance high-range pacing pulses next to a small waveform) it is scaled to the
// capture's extremes and each value is off by at most half a step of that scale.
#pragma once

#include "sim/Capture.h"

#include <ctime>
#include <string>

namespace qoltsim {

struct EdfOptions {
    std::time_t start = 0;                                // wall-clock start of the capture; 0: now
    std::string label = "Output";                         // signal label (16 characters at most)
    std::string equipment = "libqolt_virtual_instrument"; // recording field: the equipment (no spaces)
};

// False, with `error` set, when there is nothing to write or the file cannot be written (a partial file
// is removed).
bool WriteEdfCapture(const std::string& path, const Capture& capture, const EdfOptions& options,
                     std::string& error);

} // namespace qoltsim
