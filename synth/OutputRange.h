#pragma once

// Output range of the instrument: full scale of the sample scale in force, and the two values it takes
// (second DAC channel off / on).
extern double g_fVoltageRange;
extern double g_RangeV4Ch2Off;
extern double g_RangeV4Ch2On;

// Recomputes the relay pattern from the settings and sends it when it changed.
void _SetRelaysV4();

// Switches the baseline-reset test on or off after g_BaseLineOverload was set.
void _Baseline1V_CheckedChanged();
