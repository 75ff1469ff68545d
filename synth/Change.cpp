#include "synth/Change.h"

void Change() {
    // Body arrives with the sample stream: the change steps, calling the derived-state computations.
}
