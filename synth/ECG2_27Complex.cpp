#include "synth/ECG2_27Complex.h"

#include "synth/OutputRange.h"
#include "synth/Sine.h"
#include "synth/SynthesisConstants.h"
#include "synth/SynthesisState.h"
#include "synth/WaveformSettings.h"

#include <cmath>

double s_t1 = 0.0;
double s_t2 = 0.0;
double s_t3 = 0.0;
double s_t4 = 0.0;
double s_t5 = 0.0;

void _ComputeECG2_27SegmentTimes() {
    const double q = g_QRSDuration / 1000.0;
    s_t1 = 0.01 + 0.4375 * q;
    s_t2 = s_t1 + 0.5 * q;
    s_t3 = s_t2 + 0.0625 * q;
    s_t4 = s_t3 + 0.07;
    s_t5 = s_t4 + 0.18;
}

namespace {
// The segment times of the default QRS duration are in force from load on.
[[maybe_unused]] const bool s_bSegmentTimesAtLoad = (_ComputeECG2_27SegmentTimes(), true);
} // namespace

double _GetECG2_27Voltage(double t) {
    const double a = g_Amplitude;
    double v = 0.0;
    if (t < 0.01) {
        v = 0.0;
    } else if (t < s_t1) {
        v = 0.875 * a * (t - 0.01) / (s_t1 - 0.01);
    } else if (t < s_t2) {
        v = a * (0.875 - (t - s_t1) / (s_t2 - s_t1));
    } else if (t < s_t3) {
        v = a * (0.125 * (t - s_t2) / (s_t3 - s_t2) - 0.125);
    } else if (t >= s_t4 && t < s_t5) {
        v = g_TWaveAmplitude * _Sine(kTwoPi * (t - s_t4) / 0.36);
    }

    if (g_MainNoise != 0) {
        const double mains = g_MainNoise == 1 ? 50.0 : 60.0;
        v += g_MainNoiseAmplitude * _Sine(kTwoPi * g_fOutputTime * mains);
    }

    if (g_AAMIDriftTest) {
        const double d = g_fOutputTime - 10.0 * std::trunc(g_fOutputTime / 10.0);
        if (d < 2.5) {
            v += 0.8 * d;
        } else if (d < 7.5) {
            v += 4.0 - 0.8 * d;
        } else {
            v += 0.8 * d - 8.0;
        }
    }

    if (v > g_fVoltageRange) {
        v = g_fVoltageRange;
    }
    if (v < -g_fVoltageRange) {
        v = -g_fVoltageRange;
    }
    return v;
}
