#pragma once

// Sends the pacing level command for the pulse set up by _SetUpPacing (09 hh ll in the low range, 04 hh ll
// in the high range), to instruments without the version-4 flag only: those take the pulses from the
// samples alone.
void _SendPacingLevel();
