#pragma once

// Pacemaker pulses superimposed on the main waveform: rectangular pulses of a set amplitude and duration
// at a set rate, optionally in pairs, followed by a decaying overshoot. Pulses are placed in ticks of
// 0.1 ms although samples are 0.2 ms apart: a pulse of an odd number of ticks ends with a short sample
// (s_PacingShortPulseNeeded) that the packet stream times at 0.1 ms.

// Set-up at every change. Pacing off (amplitude 0): no pulses and no pulse delay. Otherwise the pattern,
// duration, period, overshoot and range (the level command that goes with it is stream/PacingLevel.h).
// Restarts the pacing period.
void _SetUpPacing();

// Once per sample, after the main function: adds the pulse or its overshoot to `value` (or replaces it
// by the pulse in the high range) and sets the sample's pacing flags.
void _GetPacingV4(double& value);

// Starts a pulse when the output time shifted by `offset` (s) crosses a pacing period boundary.
void _CheckIfPacingPulseNeeded(double offset);

// The 12-bit level code of the pacing command for `amplitude`: low range below 3.0 in magnitude, high
// range from 3.0 on; limited to 0..4095.
int _PacingLevelCode(double amplitude);
