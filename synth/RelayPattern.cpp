#include "synth/OutputRange.h"

void _SetRelaysV4() {
    // Body arrives with the relay and range commands: pattern from impedance, DC offset, leads, pacing.
}
