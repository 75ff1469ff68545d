#include "stream/PacingLevel.h"

#include "core/InstrumentFacts.h"
#include "device/InstrumentCommands.h"
#include "device/Platform.h"
#include "synth/PacingPulses.h"
#include "synth/PacingState.h"
#include "synth/WaveformSettings.h"

void _SendPacingLevel() {
    if (g_bVersion4 != 0) {
        return;
    }
    const int code = _PacingLevelCode(g_PacingAmplitude);
    unsigned char command[kPacingLevelSize];
    MakePacingLevelCommand(s_PacingHighRange ? kPacingLevelHeadSecond : kPacingLevelHeadFirst,
                           static_cast<unsigned char>(code >> 8), static_cast<unsigned char>(code & 0xFF),
                           command);
    _WriteCOMPort(kPacingLevelSize, command, false);
}
