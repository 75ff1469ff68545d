#include "synth/PacingPulses.h"

#include "synth/PacingState.h"
#include "synth/SynthesisState.h"
#include "synth/WaveformSettings.h"

#include <cmath>

namespace {

// Magnitude from which the set-up chooses the high range (relays, level command) ...
constexpr double kHighRangeSetUpThreshold = 3.0;
// ... and from which a pulse sample replaces the waveform in the high range. The two differ on purpose.
constexpr double kHighRangeSampleThreshold = 2.5;

constexpr double kTicksPerSecond = 10000.0;
// Pulse starts: 20 ms before each pacing period boundary; the extra pulse of a pair 150 or 250 ms before
// the main one.
constexpr double kMainPulseLead = 0.02;
constexpr double kPair150Lead = 0.17;
constexpr double kPair250Lead = 0.27;
// A pulse starts on the first sample within this much after a boundary (a sample is 0.2 ms).
constexpr double kStartWindow = 0.000205;
// Past this much into a period the trigger re-arms (once the pulse is over).
constexpr double kReArmAfter = 0.01;
// Absorbs rounding of the output time just below a boundary.
constexpr double kBoundarySlack = 0.000001;
// The count since the last pulse stops growing here: no overflow however long no pulse comes (as while a
// frequency scan keeps the output time within one cycle); the overshoot has long decayed by then.
constexpr int kPulseCountCeiling = 1 << 30;

bool _PacingPulseTriggered = false;
bool _PacingHighRangeClearingNeeded = false;

void AdvancePulseCount(int ticks) {
    if (g_nPacingPulseCount < kPulseCountCeiling) {
        g_nPacingPulseCount += ticks;
    }
}

} // namespace

int _PacingLevelCode(double amplitude) {
    const double code = std::fabs(amplitude) < kHighRangeSetUpThreshold
                            ? 2048.0 + amplitude / 2.5 * 2000.0 * 1.013
                            : 2048.0 + amplitude / 700.0 * 2000.0;
    // Low-range amplitudes from about 2.53 up to 3.0 in magnitude would leave the 12 bits.
    if (!(code > 0.0)) {
        return 0;
    }
    if (code > 4095.0) {
        return 4095;
    }
    return static_cast<int>(code);
}

void _SetUpPacing() {
    g_nPulsesRequired = 0;
    s_PacDelayTP = 0.0;
    if (g_PacingAmplitude == 0.0) {
        return;
    }
    g_nPulsesRequired = g_PacingPulse != 0 ? 2 : 1;
    g_OvershootTimeConstant = static_cast<double>(g_NextOvershootTimeConstant) / 1000.0;
    double overshoot =
        g_fNextOvershootAmplitude != 0.0 ? g_fNextOvershootAmplitude : -0.25 * g_PacingAmplitude;
    if (overshoot > 5.0) {
        overshoot = 5.0;
    }
    if (overshoot < -5.0) {
        overshoot = -5.0;
    }
    g_fOvershootAmplitude = overshoot;
    g_nPacingDurationCounter =
        static_cast<int>(std::trunc(0.5 + g_PacingDuration / 1000.0 * kTicksPerSecond));
    g_nPacingPulseCount = 1000;
    g_PacingFrequency = 60.0 / static_cast<double>(g_PacingRate);
    s_PacDelayTP = 0.01;
    _PacingPulseTriggered = false;

    s_PacingHighRange = !(std::fabs(g_PacingAmplitude) < kHighRangeSetUpThreshold);
}

void _CheckIfPacingPulseNeeded(double offset) {
    const double tau = g_fOutputTime + offset;
    const double period = g_PacingFrequency;
    const double phase = tau - period * std::trunc(tau / period + kBoundarySlack);
    if (phase > kReArmAfter && g_nPacingPulseCount > g_nPacingDurationCounter) {
        _PacingPulseTriggered = false;
    }
    if (!_PacingPulseTriggered && phase < kStartWindow) {
        g_nPacingPulseCount = 0;
        _PacingPulseTriggered = true;
        s_PacingIndicationNeeded = true;
    }
}

void _GetPacingV4(double& value) {
    if (g_nPulsesRequired < 1) {
        // The value and the flags pass untouched (function 14 sets the high-range flag for itself). A
        // high-range pulse cut by switching pacing off needs no closing zero when pacing comes back.
        _PacingHighRangeClearingNeeded = false;
        return;
    }
    s_PacingHighRangeNeeded = false;
    s_PacingShortPulseNeeded = false;

    _CheckIfPacingPulseNeeded(kMainPulseLead);
    if (g_PacingPulse == 1) {
        _CheckIfPacingPulseNeeded(kPair150Lead);
    } else if (g_PacingPulse == 2) {
        _CheckIfPacingPulseNeeded(kPair250Lead);
    }

    const int remaining = g_nPacingDurationCounter - g_nPacingPulseCount;
    if (remaining >= 1) {
        if (remaining == 1) {
            s_PacingShortPulseNeeded = true;
            AdvancePulseCount(1);
        } else {
            AdvancePulseCount(2);
        }
        if (std::fabs(g_PacingAmplitude) < kHighRangeSampleThreshold) {
            value += g_PacingAmplitude;
        } else {
            value = g_PacingAmplitude;
            s_PacingHighRangeNeeded = true;
            _PacingHighRangeClearingNeeded = true;
        }
    } else if (_PacingHighRangeClearingNeeded) {
        // One 0.1 ms zero in the high range ends a high-range pulse.
        value = 0.0;
        s_PacingHighRangeNeeded = true;
        s_PacingShortPulseNeeded = true;
        _PacingHighRangeClearingNeeded = false;
    } else {
        if (g_OvershootTimeConstant != 0.0) {
            // remaining <= 0: ticks since the pulse ended, so the overshoot decays from there.
            value += g_fOvershootAmplitude *
                     std::exp((static_cast<double>(remaining) / kTicksPerSecond) / g_OvershootTimeConstant);
        }
        AdvancePulseCount(2);
    }
}
