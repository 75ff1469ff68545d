// One signal of a device's recording, evenly sampled: the values in the recording's own unit and scale.
#pragma once

#include <string>
#include <vector>

namespace qoltanalysis {

struct Signal {
    std::vector<double> samples;
    double rate = 0.0; // samples per second
    std::string label; // as the recording names it ("EEG Fz", "value")
    std::string unit;  // physical unit, possibly empty
    double Seconds() const { return rate > 0.0 ? static_cast<double>(samples.size()) / rate : 0.0; }
};

} // namespace qoltanalysis
