#pragma once

#include <cstdint>

#include "core/InstrumentFacts.h"
#include "synth/OutputRange.h"

// A fixed DC offset the relays can give on the connected model: 0, or the full size either way (300, 150
// on the 300R model).
bool _IsFixedDCOffset(int setting);

// Relay pattern last computed (and compared against to decide whether to send it); 0 at every new link.
extern uint32_t g_nRelay;

// The relay pattern the settings and the stream state call for now.
uint32_t _ComputeRelayPattern();

// Recomputes the relay pattern from the settings and sends it when it changed.
void _SetRelaysV4();

// Selects the output range (second DAC channel off) and commands it. The peak the waveform will reach
// does not influence the choice.
void _UpdateRange(double peak);

// Settles g_fVoltageRange and the DC-offset channel: the variable offset (sent only when it differs from
// the one last sent) or the offset-off command; neither while pacing pulses are required.
void _SetDCOffset();

// Forgets the variable offset last sent, so that the next one is sent whatever its value: after the
// offset-off and baseline-reset commands (which drive the same DAC) and at every new link.
void _ForgetVariableDCOffset();

// At every new link: no relay pattern and no offset is known to the instrument.
void _ResetOutputStageForNewLink();

// Switches the baseline-reset test on or off after g_BaseLineOverload was set.
void _Baseline1V_CheckedChanged();
