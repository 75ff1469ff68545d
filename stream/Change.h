#pragma once

#include "synth/SynthesisState.h"
#include "synth/WaveformSettings.h"

// Applies the stored settings now: derived state, range, relays, DC offset; starts or stops the stream.
// Takes g_APICriticalSection. A Change asked for while one runs on the same thread (from the first packet
// it sends, or from a callback it makes) is recorded, and the running one applies the settings again
// once it is done, until nothing is pending.
void Change();

// While held, Change does nothing: the packet in which a single playback ended is completed and sent
// whatever a callback asks for meanwhile, and the packet builder then calls Change itself, which puts
// everything stored meanwhile in force. Caller holds g_APICriticalSection.
void _HoldChanges(bool hold);

// Applies the stored settings at the next cycle boundary while the stream runs, at once otherwise.
void _ChangeRequested();

// Called after each output sample with that sample's phase t: performs a pending change within the last
// two samples of the cycle, or at once for cycles longer than about 6.7 s. Caller holds
// g_APICriticalSection.
inline void _CheckIfChangeRequired(double t) {
    if (g_bChangeOnNextCycle && (g_fTimePeriod - t < 0.0004 || g_Frequency < 0.15)) {
        g_bChangeOnNextCycle = false;
        Change();
    }
}
