#include "synth/InputDynamicRange.h"

#include "core/InstrumentFacts.h"
#include "synth/PacingState.h"
#include "synth/SynthesisState.h"

#include <cmath>

double g_fInputDynamicRangeDC = -300.0;
double g_fInputDynamicRangeAC = 0.0;

void _StartInputDynamicRange() {
    g_fInputDynamicRangeDC = -300.0;
    g_fInputDynamicRangeAC = 0.0;
}

double _GetInputDynamicRangeVoltage(double t) {
    // Sample number within the cycle in 0.1 ms ticks; kept in a double so that no phase overflows it.
    const double n = std::trunc(0.5 + 10000.0 * t);
    const double tau = g_fOutputTime + 0.00005;

    if (std::fmod(n, 5000.0) == 0.0 || t == 0.0) {
        s_PacingHighRangeNeeded = true;
        if (tau < 20.0 || tau > 1220.0) {
            return -300.0;
        }
        const double v = g_fInputDynamicRangeDC;
        g_fInputDynamicRangeAC = 0.0;
        g_fInputDynamicRangeDC += tau <= 620.0 ? 0.5 : -0.5;
        return v;
    }

    s_PacingHighRangeNeeded = false;
    if (tau < 20.0 || tau > 1220.0) {
        return 0.0;
    }
    const double step = g_AboveFWVer5_5 ? 0.0002 : 0.00025;
    g_fInputDynamicRangeAC += tau <= 620.0 ? step : -step;
    return g_fInputDynamicRangeAC;
}
