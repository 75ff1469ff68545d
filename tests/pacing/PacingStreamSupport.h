// Pieces of the end-to-end pacing and scan tests: what the virtual instrument decoded, cut into pulses.
#pragma once

#include "stream/StreamTestSupport.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace pacingtest {

using qoltsim::SampleRecord;

// Samples of the first stream only.
inline std::vector<SampleRecord> FirstStream(const qoltsim::Recording& r) {
    std::vector<SampleRecord> out;
    if (r.packets.empty()) {
        return out;
    }
    for (const auto& p : r.packets) {
        if (p.stream != r.packets.front().stream) {
            break;
        }
        for (std::size_t i = 0; i < p.sampleCount && p.firstSample + i < r.samples.size(); ++i) {
            out.push_back(r.samples[p.firstSample + i]);
        }
    }
    return out;
}

// A run of decoded samples that differ from the flat 0 V output, or carry a flag.
struct DecodedPulse {
    double start = 0.0;
    std::vector<SampleRecord> samples;
    std::size_t Short() const {
        std::size_t n = 0;
        for (const auto& s : samples) {
            n += s.Short() ? 1 : 0;
        }
        return n;
    }
};

inline std::vector<DecodedPulse> DecodedPulses(const std::vector<SampleRecord>& samples,
                                               uint16_t zeroCode = 2048) {
    std::vector<DecodedPulse> out;
    bool inside = false;
    for (const auto& s : samples) {
        const bool touched = s.code != zeroCode || s.flags != 0;
        if (touched && !inside) {
            out.push_back(DecodedPulse{s.time, {}});
        }
        if (touched) {
            out.back().samples.push_back(s);
        }
        inside = touched;
    }
    return out;
}

} // namespace pacingtest
