#pragma once

// Pacemaker state read by the main-function synthesis.
extern double s_PacDelayTP;          // s, 0.01 while pacing is on: delays the triangular pulse
extern bool s_PacingHighRangeNeeded; // code the current sample in the high range
