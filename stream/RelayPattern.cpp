#include "device/DeviceState.h"
#include "device/InstrumentCommands.h"
#include "stream/OutputStage.h"
#include "synth/PacingState.h"
#include "synth/SynthesisState.h"
#include "synth/WaveformSettings.h"

uint32_t g_nRelay = 0;

namespace {

constexpr uint32_t kRelayDCMode = 1u << 0; // variable DC, staircase, baseline-reset test, high-range pacing
constexpr uint32_t kRelayLowImpedance = 1u << 1;
constexpr uint32_t kRelayFixedDC = 1u << 2;
constexpr uint32_t kRelayFixedDCCommon = 1u << 3;
constexpr uint32_t kRelayFixedDCPositiveFull = 1u << 4;

// Relay bit of output lead 0..8.
constexpr uint32_t LeadBit(int lead) {
    return lead == 0 ? 1u << 5 : lead == 1 ? 1u << 6 : lead == 2 ? 1u << 8 : 1u << (17 - lead);
}

} // namespace

bool _IsFixedDCOffset(int setting) {
    const int full = s_bIs300R ? 150 : 300;
    return setting == 0 || setting == full || setting == -full;
}

uint32_t _ComputeRelayPattern() {
    uint32_t pattern = 0;
    if (!g_InputImpedance) {
        pattern |= kRelayLowImpedance;
    }
    // Only the full offset either way: any other setting (one stored for another model) would come out
    // as the negative one, so it switches no offset at all.
    if (!g_DCVariable && g_DCSetting != 0 && _IsFixedDCOffset(g_DCSetting)) {
        pattern |= kRelayFixedDC;
        if (g_DCCommon) {
            pattern |= kRelayFixedDCCommon;
        }
        if (g_DCSetting > 0) {
            pattern |= kRelayFixedDCPositiveFull;
        }
    }
    if (g_DCVariable) {
        pattern |= kRelayDCMode;
    }
    if (g_MainOutput == 14) {
        pattern |= kRelayDCMode;
    }
    if (s_ECGGoing && g_nPulsesRequired > 0) {
        pattern = s_PacingHighRange ? kRelayDCMode : 0;
    }
    if (s_ECGGoing && g_BaseLineOverload != 0) {
        pattern |= kRelayDCMode;
    }
    for (int lead = 0; lead <= 8; ++lead) {
        if ((g_OutputLead & (1u << lead)) != 0) {
            pattern |= LeadBit(lead);
        }
    }
    return pattern;
}

void _SetRelaysV4() {
    const uint32_t old = g_nRelay;
    g_nRelay = _ComputeRelayPattern();
    if (g_nRelay != old) {
        unsigned char command[kRelaySize];
        MakeRelayCommand(static_cast<unsigned char>(g_nRelay >> 16),
                         static_cast<unsigned char>(g_nRelay >> 8), static_cast<unsigned char>(g_nRelay),
                         command);
        SendCommand(command);
    }
}
