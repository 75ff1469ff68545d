#pragma once

// One sample of the selected output function at phase t (s, 0 <= t < g_fTimePeriod), in the sample scale.
// Functions 0, 6, 16 and above and negative numbers give 0.0. Only function 14 has side effects (its
// staircase state and the sample's high-range flag).
double _GetMainFunctionVoltage(double t);
