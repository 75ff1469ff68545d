#pragma once

// Per-cycle state shared by the change step, the synthesis and the packet stream. The initial values are
// those of the default settings, so that nothing divides by zero before the first change.
extern double g_fTimePeriod;      // s, cycle length T
extern double g_fOutputTime;      // s since the last change
extern double g_fOutputTimeGraph; // s, time reported to the graph callbacks
extern double g_fPulseWidth;      // s, pulse width in force (functions 4 and 5)
extern bool s_ECGGoing;           // the sample stream runs
extern bool g_bChangeOnNextCycle; // a change waits for the cycle boundary
