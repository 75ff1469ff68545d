#pragma once

// Applies the stored settings now: derived state, range, relays, DC offset; starts or stops the stream.
void Change();

// Applies the stored settings at the next cycle boundary while the stream runs, at once otherwise.
void _ChangeRequested();
