// What the virtual instrument played, laid out for people to look at: the decoded samples on one timeline
// in ticks of 0.1 ms (every sample lasts one or two ticks), and the annotations placed on it (the commands
// the host sent, pacemaker markers the host reported, notes). The writers (EDF+, CSV, SVG) read this.
#pragma once

#include "sim/Records.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace qoltsim {

constexpr double kTickSeconds = 0.0001;
constexpr int64_t kTicksPerSecond = 10000;

struct CaptureSample {
    int64_t tick = 0;   // start, in ticks from the first sample of the capture
    double value = 0.0; // decoded value in the sample scale
    uint16_t code = 0;
    uint8_t flags = 0;
    uint8_t range = 0; // range byte it was decoded with
    uint8_t ticks = 2; // duration: 2, or 1 for a short sample
};

enum class AnnotationKind : uint8_t { Command, Pacing, Note };

struct CaptureAnnotation {
    int64_t tick = 0;
    AnnotationKind kind = AnnotationKind::Command;
    std::string text;
};

struct Capture {
    std::vector<CaptureSample> samples;
    std::vector<CaptureAnnotation> annotations; // sorted by tick (stable: commands keep their order)
    int64_t endTick = 0;                        // end of the last sample
    uint64_t unrecordedSamples = 0;             // played but beyond the recording's bounds

    double Seconds() const { return static_cast<double>(endTick) * kTickSeconds; }
    bool HasShortSamples() const;
    size_t CountAnnotations(AnnotationKind kind) const;
};

// Lays the recording out on one timeline, streams back to back. A command is placed where the samples
// received before it end. `pacingMarkers` are pulse starts in seconds on the same timeline (the host's
// output time); markers outside the capture are left out. `limitSeconds` keeps only the samples that
// start before it; commands that came later are placed at the end.
Capture BuildCapture(const Recording& recording, const std::vector<double>& pacingMarkers = {},
                     std::optional<double> limitSeconds = std::nullopt);

} // namespace qoltsim
