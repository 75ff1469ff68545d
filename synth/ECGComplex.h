#pragma once

// The synthetic ECG complex of output functions 10 (notched R: R1, trough, R2) and 11 (single R).
// Times in seconds of the cycle, amplitudes in the sample scale, all derived from the frequency and the
// amplitude setting in force.

// P wave: linear rise, 1.5 sine periods around the offset, linear fall.
extern double s_tP_SinBegin;
extern double s_tP_SinEnd;
extern double s_tP_End;
extern double s_P_SinFreq;
extern double s_P_SinHalfAmp;
extern double s_P_SinAmpOffset;

// Q wave.
extern double s_tQ_Begin;
extern double s_tQ_Trough;
extern double s_tQ_End;
extern double s_tQ_ToTrough;
extern double s_tQ_FromTrough;
extern double s_aQ_Trough;

// R wave(s).
extern double s_tR1_Crest;
extern double s_tR1_ToCrest;
extern double s_tR1_Trough;
extern double s_tR1_ToTrough;
extern double s_tR2_Crest;
extern double s_tR2_ToCrest;
extern double s_tR2_ToTrough;
extern double s_tR_End;
extern double s_tR_ToTrough;
extern double s_aR1_Crest;
extern double s_aR_Trough;
extern double s_aR2_Crest;
extern double s_R1_Amp;
extern double s_R2_Amp;

// S wave and T wave.
extern double s_tS_Trough;
extern double s_tS_ToTrough;
extern double s_tS_End;
extern double s_aS_Trough;
extern double s_tT_SinBegin;
extern double s_tT_End;
extern double p_T_SinFreq;
extern double s_aT_Trough;

// The parameters above from g_Frequency and g_NextAmplitude (without the model's gain).
void _ComputeECGComplexParameters();

// One sample at phase t (s); singleR selects function 11's single R wave.
double _GetECGComplexVoltage(double t, bool singleR);
