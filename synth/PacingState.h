#pragma once

// Pacemaker state shared by the change step, the synthesis, the relay pattern and the packet stream.
// Pulses are timed in ticks of 0.1 ms, half a sample.
extern double s_PacDelayTP;           // s, 0.01 while pacing is on: delays the triangular pulse
extern int g_nPulsesRequired;         // 0 = pacing off, 1 = one pulse per period, 2 = pulse pairs
extern double g_PacingFrequency;      // s, the pacing period 60/rate (a period, despite its name)
extern int g_nPacingDurationCounter;  // pulse length in ticks
extern int g_nPacingPulseCount;       // ticks since the start of the last pulse
extern bool s_PacingHighRange;        // the pulse amplitude needs the high range (relay pattern)
extern bool s_PacingHighRangeNeeded;  // code the current sample in the high range
extern bool s_PacingShortPulseNeeded; // the current sample lasts 0.1 ms instead of 0.2 ms
extern bool s_PacingIndicationNeeded; // a pulse has just started: draw its marker
