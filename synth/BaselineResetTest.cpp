#include "synth/OutputRange.h"

void _Baseline1V_CheckedChanged() {
    // Body arrives with the relay and range commands: fixed 50-100 Hz sine on, or offset off and Change().
}
