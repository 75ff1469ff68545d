#pragma once

// Derived per-cycle state, computed by the change step from the settings in force.

// g_fTimePeriod: 1/g_Frequency, or the length of the stored waveform or recording being played.
void _ComputeTimePeriod();

// g_fPulseWidth (s) from the pulse width setting (ms).
void _ComputePulseWidth();

// g_MainNoiseAmplitude: the peak in force, half the peak-to-peak setting.
void _ComputeMainNoiseAmplitude();
