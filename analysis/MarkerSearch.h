// Finds the plan's opening marker, a burst of whole square-wave cycles (positive half first), in a
// recording whose gain, offset, polarity and start are unknown: the normalised correlation of the
// recording with the burst, at every sample offset, computed from running sums in time linear in the
// recording's length; the earliest offset matching as well as the best one, refined between samples.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace qoltanalysis {

struct SquareBurst {
    double frequency = 0.0; // Hz
    int cycles = 0;         // whole cycles the search matches
    // Where the sign changes, in seconds from the burst's start (2 * cycles + 1 of them, 0 first), when
    // the source's edges are known more exactly than every half period; empty: every half period.
    std::vector<double> edges;
};

struct MarkerMatch {
    bool found = false;
    double time = 0.0;        // seconds from the first sample to the burst's start
    double correlation = 0.0; // at the match, signed: negative for an inverting device
    // Best correlation anywhere and where, also when nothing was found (for the message).
    double best = 0.0;
    double bestTime = 0.0;
    std::string problem; // why nothing was found, when it was not
};

// Correlation a match needs (magnitude); a clean recording gives more than 0.99.
constexpr double kMarkerThreshold = 0.8;

MarkerMatch FindSquareBurst(const std::vector<double>& samples, double rate, const SquareBurst& burst,
                            double threshold = kMarkerThreshold);

} // namespace qoltanalysis
