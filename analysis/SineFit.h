// What is measured over a step's window: a least-squares fit of a sine at a known frequency (with an
// offset and a linear drift, which a high-pass filter's settling leaves), and the mean and peak-to-valley.
#pragma once

#include <cstddef>

namespace qoltanalysis {

struct SineFit {
    bool ok = false;
    double amplitude = 0.0; // peak, in the recording's unit
    double phase = 0.0;     // radians, (-pi, pi]: samples ~ amplitude * sin(2 pi f t + phase)
    double offset = 0.0;    // at the window's middle
    double drift = 0.0;     // per second
    double residualRms = 0.0;
};

// Fits samples[0..count) taken at `rate`, the first at time `firstTime` (seconds) on the time axis the phase
// refers to. Not ok for fewer than 8 samples, a frequency at or above half the rate, or a window too short
// to tell the sine from the drift.
SineFit FitSine(const double* samples, size_t count, double rate, double firstTime, double frequency);

struct WindowStats {
    double mean = 0.0;
    double minimum = 0.0;
    double maximum = 0.0;
    double PeakToValley() const { return maximum - minimum; }
};

WindowStats Stats(const double* samples, size_t count);

} // namespace qoltanalysis
