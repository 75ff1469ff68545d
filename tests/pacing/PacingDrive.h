// Drives the pacemaker generator and the frequency-scan step sample by sample, the way the packet builder
// does: value, pacing, time advance (0.1 ms for a short sample, else 0.2 ms), scan step.
#pragma once

#include "synth/FrequencyScan.h"
#include "synth/FrequencyScanState.h"
#include "synth/MainFunctionVoltage.h"
#include "synth/PacingPulses.h"
#include "synth/PacingState.h"
#include "synth/SynthesisState.h"

#include <cmath>
#include <cstddef>
#include <functional>
#include <vector>

namespace pacingtest {

struct Sample {
    double time = 0.0; // output time at which the sample was computed
    double value = 0.0;
    bool high = false;
    bool shortSample = false;
    bool indication = false; // a pulse started on this sample
    double Duration() const { return shortSample ? 0.0001 : 0.0002; }
};

// The phase the packet builder hands to the main function.
inline double Phase() {
    return g_fOutputTime - g_fTimePeriod * static_cast<int>(g_fOutputTime / g_fTimePeriod);
}

// `count` samples; the main-function value comes from `base` (0 V when none is given).
inline std::vector<Sample> Drive(std::size_t count, const std::function<double()>& base = {}) {
    std::vector<Sample> out;
    out.reserve(count);
    for (std::size_t i = 0; i < count; ++i) {
        Sample s;
        s.time = g_fOutputTime;
        double value = base ? base() : 0.0;
        _GetPacingV4(value);
        s.value = value;
        s.high = s_PacingHighRangeNeeded;
        s.shortSample = s_PacingShortPulseNeeded;
        s.indication = s_PacingIndicationNeeded;
        s_PacingIndicationNeeded = false;
        g_fOutputTime += s.Duration();
        g_fOutputTimeGraph += s.Duration();
        if (g_bFrequencyScanEnabled) {
            _StepFrequencyScan();
        }
        out.push_back(s);
    }
    return out;
}

// Samples needed to cover `seconds` of output at 0.2 ms each.
inline std::size_t SamplesFor(double seconds) {
    return static_cast<std::size_t>(std::lround(seconds / 0.0002));
}

// A run of consecutive samples that a pulse changed (value differs from the base, or flagged).
struct Pulse {
    double start = 0.0;
    std::vector<Sample> samples;
    std::size_t Full() const {
        std::size_t n = 0;
        for (const auto& s : samples) {
            n += s.shortSample ? 0 : 1;
        }
        return n;
    }
    std::size_t Short() const { return samples.size() - Full(); }
};

inline std::vector<Pulse> Pulses(const std::vector<Sample>& samples, double base = 0.0) {
    std::vector<Pulse> out;
    bool inside = false;
    for (const auto& s : samples) {
        const bool touched = s.value != base || s.high || s.shortSample;
        if (touched && !inside) {
            out.push_back(Pulse{s.time, {}});
        }
        if (touched) {
            out.back().samples.push_back(s);
        }
        inside = touched;
    }
    return out;
}

} // namespace pacingtest
