#include "synth/Pacing.h"

void _SetUpPacing() {
    // Body arrives with the pacemaker pulses: counters, overshoot, range and the older level commands.
}

void _GetPacingV4(double& /*value*/) {
    // Body arrives with the pacemaker pulses. Until then no pulses are required and every sample passes
    // unchanged with its flags untouched.
}
