#pragma once

// Applies the stored settings now: derived state, range, relays, DC offset; starts or stops the stream.
// Takes g_APICriticalSection. A Change asked for while one runs on the same thread (from the first packet
// it sends, or from a callback it makes) is recorded, and the running one applies the settings again
// once it is done, until nothing is pending.
void Change();

// Applies the stored settings at the next cycle boundary while the stream runs, at once otherwise.
void _ChangeRequested();

// Called after each output sample with that sample's phase t: performs a pending change within the last
// two samples of the cycle, or at once for cycles longer than about 6.7 s. Caller holds
// g_APICriticalSection.
void _CheckIfChangeRequired(double t);
