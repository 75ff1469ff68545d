#pragma once

// Input dynamic-range staircase (output function 14): DC steps of 0.5 coded in the high range, every
// 0.5 s of phase, climbing from -300 to +300 between 20 s and 620 s of output and descending until
// 1220 s; the samples between the steps carry a ramp that restarts at every step.
extern double g_fInputDynamicRangeDC; // level of the next step
extern double g_fInputDynamicRangeAC; // ramp since the last step

// Restarts the staircase at -300.
void _StartInputDynamicRange();

// One sample at phase t (s); sets or clears s_PacingHighRangeNeeded for the sample.
double _GetInputDynamicRangeVoltage(double t);
