#pragma once

// The "ECG2_27" test complex (output function 7): triangular QRS plus a half-sine T wave, with optional
// mains noise and drift. Segment times in seconds of the cycle: QRS rise ends at s_t1, fall at s_t2,
// return to 0 at s_t3; the T wave lasts from s_t4 to s_t5.
extern double s_t1;
extern double s_t2;
extern double s_t3;
extern double s_t4;
extern double s_t5;

// Segment times from the QRS duration setting.
void _ComputeECG2_27SegmentTimes();

// One sample at phase t (s).
double _GetECG2_27Voltage(double t);
