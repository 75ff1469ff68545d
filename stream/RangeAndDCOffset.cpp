#include "device/InstrumentCommands.h"
#include "stream/OutputStage.h"
#include "synth/PacingState.h"
#include "synth/WaveformSettings.h"

#include <cmath>

namespace {

// The variable offset has been sent, and the setting last sent.
bool s_bDCVariableOn = false;
int s_nDCVariablePrev = 0;

// DAC code of a variable offset setting (-1000..1000 gives 49..4048).
int VariableDCOffsetCode(int setting) {
    return static_cast<int>(std::trunc(0.5 + setting / 1000.0 * 2000.0)) + 2048;
}

} // namespace

void _UpdateRange(double /*peak*/) {
    g_fVoltageRange = g_RangeV4Ch2Off;
    unsigned char command[kRangeSize];
    MakeRangeCommand(static_cast<unsigned char>(std::trunc(g_fVoltageRange)), command);
    SendCommand(command);
}

void _SetDCOffset() {
    const bool sentBefore = s_bDCVariableOn;
    g_fVoltageRange = g_RangeV4Ch2Off;
    if (g_nPulsesRequired < 1 && g_DCVariable) {
        s_bDCVariableOn = true;
        _UpdateRange(0.0);
        g_fVoltageRange = g_RangeV4Ch2On;
        if (!(sentBefore && s_nDCVariablePrev == g_DCSetting)) {
            const int code = VariableDCOffsetCode(g_DCSetting);
            unsigned char command[kDCOffsetSize];
            MakeDCOffsetCommand(static_cast<unsigned char>(code >> 8), static_cast<unsigned char>(code),
                                command);
            SendCommand(command);
        }
        s_nDCVariablePrev = g_DCSetting;
    }
    if (!g_DCVariable && g_nPulsesRequired < 1) {
        SendCommand(kCmdDCOffsetOff);
        _ForgetVariableDCOffset();
    }
}

void _ForgetVariableDCOffset() {
    s_bDCVariableOn = false;
}

void _ResetOutputStageForNewLink() {
    g_nRelay = 0;
    _ForgetVariableDCOffset();
}
