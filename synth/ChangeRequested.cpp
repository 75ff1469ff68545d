#include "synth/Change.h"

void _ChangeRequested() {
    // Body arrives with the sample stream: mark the change while streaming, otherwise Change().
}
