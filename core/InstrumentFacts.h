#pragma once

// The firmware facts that the instrument's version report sets: g_bVersion4, g_nVersionNumber
// (api/PollLoop.h) and the full-scale values g_RangeV4Ch2Off/On (synth/OutputRange.h). The report comes
// unasked and may not come again when the same unit is plugged back, so the facts outlive a link, but they
// belong to the unit that reported them: another unit starts from the load-time values. All under
// g_APICriticalSection.

// A version report has just set the facts: they are the linked unit's.
void _KeepFirmwareFactsOfLinkedUnit();

// A link comes up (the unit is identified): the facts its own report set, when it is the unit that gave
// the last one, the load-time values otherwise.
void _FirmwareFactsForLinkedUnit();
