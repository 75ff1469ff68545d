#include "synth/MainFunctionVoltage.h"

#include "core/InstrumentFacts.h"
#include "synth/ECG2_27Complex.h"
#include "synth/ECGComplex.h"
#include "synth/InputDynamicRange.h"
#include "synth/PacingState.h"
#include "synth/PlaybackBuffer.h"
#include "synth/Sine.h"
#include "synth/SynthesisConstants.h"
#include "synth/SynthesisState.h"
#include "synth/WaveformSettings.h"
#include "synth/tables/StandardTables.h"

#include <cmath>

namespace {

// trunc(rate * t) kept inside [0, count - 1]. The phase may round up to T at the end of a cycle, and T
// may still belong to the previous function right after a switch; neither may read past the waveform.
inline int ClampedIndex(double rate, double t, int count) {
    const double x = rate * t;
    if (!(x >= 0.0)) {
        return 0;
    }
    if (x >= static_cast<double>(count - 1)) {
        return count - 1;
    }
    return static_cast<int>(x);
}

inline double WithDynamicRange(double v) {
    if (!g_DynamicRangeTest) {
        return v;
    }
    v += (g_ADynamicRange / 2.0) * _Sine(kTwoPi * g_FDynamicRange * g_fOutputTime);
    if (v > 5.0) {
        v = 5.0;
    }
    if (v < -5.0) {
        v = -5.0;
    }
    return v;
}

inline double Triangle(double t) {
    const double a = g_Amplitude;
    const double period = g_fTimePeriod;
    const double k = 4.0 * a / period;
    if (t < period / 4.0) {
        return k * t;
    }
    if (t < 3.0 * period / 4.0) {
        return 2.0 * a - k * t;
    }
    return k * t - 4.0 * a;
}

inline double EdgedPulse(double t) {
    constexpr double r = 0.001;
    const double a = g_Amplitude;
    const double w = g_fPulseWidth;
    if (t < r) {
        return 2.0 * a * t / r - a;
    }
    if (t < w) {
        return a;
    }
    if (t < w + r) {
        return a - 2.0 * a * (t - w) / r;
    }
    return -a;
}

inline double TriangularPulse(double t) {
    const double a = g_Amplitude;
    const double w = g_fPulseWidth;
    const double d = s_PacDelayTP;
    const double k = 4.0 * a / w;
    if (t < d) {
        return -a;
    }
    if (t < d + w / 2.0) {
        return k * (t - d) - a;
    }
    if (t < d + w) {
        return 3.0 * a - k * (t - d);
    }
    return -a;
}

inline double ExponentialPair(double t) {
    const double a = g_Amplitude;
    if (t < 0.5) {
        return a * std::exp(-t / 0.05);
    }
    return -a * std::exp(-(t - 0.5) / 0.05);
}

inline double IEC227Wave(double t) {
    const int w = g_nSpecialWaveform;
    if (w < 0 || w >= kIEC227WaveCount) {
        return 0.0;
    }
    const int i = ClampedIndex(720.0, t, kIEC227SlotSamples);
    return IEC227W[w * kIEC227SlotSamples + i] / 1000.0;
}

inline double IEC251Wave(double t) {
    const int w = g_nSpecialWaveform;
    if (w < 0 || w >= kIEC251WaveCount) {
        return 0.0;
    }
    const int i = ClampedIndex(1000.0, t, kIEC251WaveSamples);
    return IEC251W[w * kIEC251WaveSamples + i] / 1000.0;
}

inline double ANE20000Lead(double t) {
    const int n = g_nANE20000ChannelNumber;
    if (n < 0 || n >= kANE20000LeadCount) {
        return 0.0;
    }
    const int i = ClampedIndex(1000.0, t, kANE20000LeadSamples);
    return ANE20000[n * kANE20000LeadSamples + i] / 1000.0;
}

inline double Playback(double t) {
    const double* samples = g_pECGFile;
    const int count = g_nECGFileSize;
    if (samples == nullptr || count <= 0 || !(g_fECGFileFreq > 0.0)) {
        return 0.0;
    }
    const double gain = s_bIs300R ? 2.5 : 5.0;
    return samples[ClampedIndex(g_fECGFileFreq, t, count)] / 1000.0 * gain;
}

} // namespace

double _GetMainFunctionVoltage(double t) {
    switch (g_MainOutput) {
    case 1:
        return g_Amplitude * _Sine(kTwoPi * g_Frequency * g_fOutputTime);
    case 2:
        return WithDynamicRange(Triangle(t));
    case 3:
        return WithDynamicRange(t < g_fTimePeriod / 2.0 ? g_Amplitude : -g_Amplitude);
    case 4:
        return EdgedPulse(t);
    case 5:
        return TriangularPulse(t);
    case 7:
        return _GetECG2_27Voltage(t);
    case 8:
        return IEC227Wave(t);
    case 9:
        return IEC251Wave(t);
    case 10:
        return _GetECGComplexVoltage(t, false);
    case 11:
        return _GetECGComplexVoltage(t, true);
    case 12:
        return ExponentialPair(t);
    case 13:
        return Playback(t);
    case 14:
        return _GetInputDynamicRangeVoltage(t);
    case 15:
        return ANE20000Lead(t);
    default:
        return 0.0;
    }
}
