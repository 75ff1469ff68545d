#include "synth/ECGComplex.h"

#include "synth/Sine.h"
#include "synth/SynthesisConstants.h"
#include "synth/WaveformSettings.h"

#include <cmath>

double s_tP_SinBegin = 0.0;
double s_tP_SinEnd = 0.0;
double s_tP_End = 0.0;
double s_P_SinFreq = 0.0;
double s_P_SinHalfAmp = 0.0;
double s_P_SinAmpOffset = 0.0;

double s_tQ_Begin = 0.0;
double s_tQ_Trough = 0.0;
double s_tQ_End = 0.0;
double s_tQ_ToTrough = 0.0;
double s_tQ_FromTrough = 0.0;
double s_aQ_Trough = 0.0;

double s_tR1_Crest = 0.0;
double s_tR1_ToCrest = 0.0;
double s_tR1_Trough = 0.0;
double s_tR1_ToTrough = 0.0;
double s_tR2_Crest = 0.0;
double s_tR2_ToCrest = 0.0;
double s_tR2_ToTrough = 0.0;
double s_tR_End = 0.0;
double s_tR_ToTrough = 0.0;
double s_aR1_Crest = 0.0;
double s_aR_Trough = 0.0;
double s_aR2_Crest = 0.0;
double s_R1_Amp = 0.0;
double s_R2_Amp = 0.0;

double s_tS_Trough = 0.0;
double s_tS_ToTrough = 0.0;
double s_tS_End = 0.0;
double s_aS_Trough = 0.0;
double s_tT_SinBegin = 0.0;
double s_tT_End = 0.0;
double p_T_SinFreq = 0.0;
double s_aT_Trough = 0.0;

void _ComputeECGComplexParameters() {
    const double b = 0.75 / g_Frequency;
    const double h = g_NextAmplitude / 2.0;

    s_tP_End = 0.1327 * b;
    s_tP_SinBegin = s_tP_End / 8.0;
    s_tP_SinEnd = 7.0 * s_tP_End / 8.0;
    s_P_SinFreq = 1.5 / (s_tP_SinEnd - s_tP_SinBegin);

    s_tQ_Begin = s_tP_End + (0.1653 * b - 0.1327 * b);
    s_tQ_End = s_tQ_Begin + 0.0213 * b;
    s_tQ_Trough = (s_tQ_End + s_tQ_Begin) / 2.0;
    s_tQ_ToTrough = s_tQ_Trough - s_tQ_Begin;
    s_tQ_FromTrough = s_tQ_End - s_tQ_Trough;

    s_tR1_Crest = s_tQ_Begin + 0.0427 * b;
    s_tR1_ToCrest = s_tR1_Crest - s_tQ_End;
    s_tR2_Crest = s_tQ_Begin + 0.074 * b;
    s_tR1_Trough = (s_tR2_Crest + s_tR1_Crest) / 2.0;
    s_tR1_ToTrough = s_tR1_Trough - s_tR1_Crest;
    s_tR2_ToCrest = s_tR2_Crest - s_tR1_Trough;
    s_tR_End = s_tQ_Begin + 0.0947 * b;
    s_tR2_ToTrough = s_tR_End - s_tR2_Crest;
    s_tR_ToTrough = s_tR_End - s_tR1_Crest;

    s_tT_End = s_tQ_Begin + 0.516 * b;
    s_tS_End = s_tT_End - 0.212 * b;
    s_tS_Trough = s_tR_End + (s_tS_End - s_tR_End) / 3.0;
    s_tS_ToTrough = s_tS_Trough - s_tR_End;
    // 0.908 makes the T segment start at the S level.
    s_tT_SinBegin = s_tT_End - 0.212 * b / 0.908;
    p_T_SinFreq = 0.5 / (s_tT_End - s_tT_SinBegin);

    s_P_SinHalfAmp = (0.234 * h - 0.196 * h) / 2.0;
    s_P_SinAmpOffset = (0.234 * h + 0.196 * h) / 2.0;
    s_aQ_Trough = -0.394 * h;
    s_aR1_Crest = 1.605 * h;
    s_aR_Trough = 0.716 * h;
    s_aR2_Crest = 1.068 * h;
    s_aS_Trough = -0.116 * h;
    s_aT_Trough = -0.408 * h;
    s_R1_Amp = s_aR1_Crest - s_aR_Trough;
    s_R2_Amp = s_aR2_Crest - s_aR_Trough;
}

namespace {
// The parameters of the default frequency and amplitude are in force from load on.
[[maybe_unused]] const bool s_bParametersAtLoad = (_ComputeECGComplexParameters(), true);
} // namespace

double _GetECGComplexVoltage(double t, bool singleR) {
    const double po = s_P_SinAmpOffset;
    if (t < s_tP_SinBegin) {
        return po * t / s_tP_SinBegin;
    }
    if (t < s_tP_SinEnd) {
        return po + s_P_SinHalfAmp * _Sine(kTwoPi * s_P_SinFreq * (t - s_tP_SinBegin));
    }
    if (t < s_tP_End) {
        return po - po * (t - s_tP_SinEnd) / s_tP_SinBegin;
    }
    if (t < s_tQ_Begin) {
        return 0.0;
    }
    if (t < s_tQ_Trough) {
        return s_aQ_Trough * (t - s_tQ_Begin) / s_tQ_ToTrough;
    }
    if (t < s_tQ_End) {
        return s_aQ_Trough - s_aQ_Trough * (t - s_tQ_Trough) / s_tQ_FromTrough;
    }
    if (t < s_tR1_Crest) {
        return s_aR1_Crest * (t - s_tQ_End) / s_tR1_ToCrest;
    }
    if (singleR) {
        if (t < s_tR_End) {
            return s_aR1_Crest - s_aR1_Crest * (t - s_tR1_Crest) / s_tR_ToTrough;
        }
    } else {
        if (t < s_tR1_Trough) {
            return s_aR1_Crest - s_R1_Amp * (t - s_tR1_Crest) / s_tR1_ToTrough;
        }
        if (t < s_tR2_Crest) {
            return s_aR_Trough + s_R2_Amp * (t - s_tR1_Trough) / s_tR2_ToCrest;
        }
        if (t < s_tR_End) {
            return s_aR2_Crest - s_aR2_Crest * (t - s_tR2_Crest) / s_tR2_ToTrough;
        }
    }
    if (t < s_tS_Trough) {
        return s_aS_Trough * (t - s_tR_End) / s_tS_ToTrough;
    }
    if (t < s_tS_End) {
        return s_aS_Trough;
    }
    if (t < s_tT_End) {
        return -s_aT_Trough * _Sine(kPi + kTwoPi * p_T_SinFreq * (t - s_tT_SinBegin));
    }
    return 0.0;
}
