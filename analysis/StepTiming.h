// When a step's waveform begins in the instrument's output. A setting changed while a waveform plays takes
// effect at the end of that waveform's running cycle: the library checks, after each 0.2 ms output sample,
// whether the sample's phase (output time since the waveform began, modulo the period in force) is within
// two samples of the period's end, or changes at once below 0.15 Hz; the next sample then starts the new
// waveform at phase 0. Given where the running waveform began, where the change was asked for (the first
// sample built after the setting calls) and the period in force, this finds that sample the way the
// library's own arithmetic does.
#pragma once

#include <cstdint>
#include <vector>

namespace qoltanalysis {

constexpr double kOutputSampleSeconds = 0.0002;

// Output sample (counted from the output's start) where the new waveform begins. `runningStart` is where
// the running waveform began, `requested` the first sample built after the change was asked for,
// `period` the period in force (seconds), `frequency` the running waveform's frequency (Hz). Returns
// `requested` for a change that cannot wait (no period, or a request before the waveform began).
int64_t WaveformStart(int64_t runningStart, int64_t requested, double period, double frequency);

// Where the library's square wave of `period` seconds, started at output sample 0, changes sign: the first
// 2 * cycles + 1 edges (0 first), in output samples. Its output time is summed sample by sample, so an edge
// may fall a sample later than the exact multiple of half a period.
std::vector<int64_t> SquareEdges(double period, int cycles);

} // namespace qoltanalysis
