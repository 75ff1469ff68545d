#pragma once

// Pacemaker pulses superimposed on the main waveform.

// Set-up at a change while the pacing amplitude is non-zero: pulse pattern, duration, period, overshoot
// and range, and the level command of instruments without the version-4 flag.
void _SetUpPacing();

// Once per sample, after the main function: adds the pulse or its overshoot to `value` (or replaces it in
// the high range) and sets the sample's flags.
void _GetPacingV4(double& value);
