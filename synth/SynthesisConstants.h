#pragma once

// The circle constants the waveforms are defined with; the output is specified with these values, not the
// exact ones.
constexpr double kTwoPi = 6.2831853;
constexpr double kPi = 3.14159265;
