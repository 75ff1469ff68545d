#include "stream/Change.h"

#include "stream/PacketStream.h"
#include "stream/DataRequests.h"
#include "device/DeviceState.h"
#include "device/Platform.h"
#include "device/InstrumentCommands.h"
#include "sync/Threads.h"
#include "synth/CycleParameters.h"
#include "synth/ECG2_27Complex.h"
#include "synth/ECGComplex.h"
#include "synth/FrequencyScanState.h"
#include "synth/InputDynamicRange.h"
#include "stream/OutputStage.h"
#include "stream/PacingLevel.h"
#include "synth/PacingPulses.h"
#include "synth/PacingState.h"
#include "synth/PlaybackBuffer.h"
#include "synth/SettingsLock.h"
#include "synth/SyncCallbacks.h"
#include "synth/SynthesisState.h"
#include "synth/WaveformSettings.h"

#include <algorithm>
#include <cmath>

namespace {

bool s_bChangeInProcess = false;
// A Change was asked for while one was in process.
bool s_bChangeAgain = false;
// Changes wait until the packet being built has been sent (see _HoldChanges).
bool s_bChangesHeld = false;

// Rounds one Change makes for changes asked for meanwhile; a callback that asks for a change at every
// round cannot keep the caller here. Left over while streaming: the next cycle boundary.
constexpr int kMaxChangeRounds = 16;
// Pause after the stop command before anything else goes to the instrument.
constexpr unsigned kStopSettleMs = 300;

// Peak limits of the ECG2_27 complex (before its doubling): alone, and under pacing pulses.
constexpr double kECG2_27PeakLimit = 2.857;
constexpr double kECG2_27PacedPeakLimit = 1.25;
// Largest value of a triangle or square with the dynamic-range sine added.
constexpr double kDynamicRangeCeiling = 5.0;

// Model gain: amplitude settings (divided by 1000) are turned into peaks with it.
double Gain() {
    return s_bIs300R ? 2.5 : 5.0;
}

// Limits the peak in force to `limit`, keeping its sign, and stores as the amplitude setting the value that
// gives that peak, so that GetAmplitude reports it and a later switch of function starts from it.
// `doubling` is 2 once the ECG2_27 complex's peak has been doubled, 1 before.
void LimitPeak(double limit, double doubling) {
    if (std::fabs(g_Amplitude) > limit) {
        g_Amplitude = std::copysign(limit, g_Amplitude);
        g_NextAmplitude = 2.0 * g_Amplitude / (Gain() * doubling);
    }
}

void StopStream() {
    s_ECGGoing = false;
    ++g_nStreamGeneration;
    SendCommand(kCmdStopStream);
    g_BaseLineOverload = 0;
    g_bFrequencyScanEnabled = false;
    g_FreqScan1 = false;
    g_FreqScan3 = false;
    _SetRelaysV4();
    SleepEx(kStopSettleMs);
}

// Marks the stream as running; its first packet is built once range, relays and offset are settled, so
// that it is coded against the full scale the instrument then decodes with. False without a port: nothing
// would ever ask for the next packet, and the stream starts at the next link-up.
bool BeginStream() {
    if (!IsPortOpen()) {
        return false;
    }
    _DiscardStaleDataRequests();
    s_ECGGoing = true;
    ++g_nStreamGeneration;
    g_nPacketNumber = 0;
    g_bChangeOnNextCycle = false;
    return true;
}

// The settings of a selected output function into the state that the per-sample synthesis reads. True
// when the stream is to start: the caller sends its first packet.
bool ApplyOutputFunction() {
    const bool baselineSine = g_BaseLineOverload != 0 && g_MainOutput == 1;
    if (g_MainOutput == 12) {
        g_PulseWidth = 50.0;
    }
    g_Frequency = g_NextFrequency;
    if (!baselineSine) {
        g_Amplitude = (g_NextAmplitude / 2.0) * Gain();
    }
    if (g_MainOutput == 7) {
        LimitPeak(kECG2_27PeakLimit, 1.0);
        if (g_PacingAmplitude != 0.0) {
            LimitPeak(kECG2_27PacedPeakLimit, 1.0);
        }
        g_Amplitude *= 2.0;
    }
    const double limit = _FrequencyLimit(g_MainOutput);
    if (g_Frequency > limit) {
        g_Frequency = limit;
        if (g_SyncFreqCallback != nullptr) {
            g_SyncFreqCallback(g_Frequency);
        }
    }
    if (g_MainOutput == 13) {
        _UpdateRange(g_fECGFileMax);
    } else if (!baselineSine) {
        _UpdateRange(std::max(std::fabs(g_Amplitude), g_TWaveAmplitude));
    }
    _ComputeTimePeriod();
    _ComputeMainNoiseAmplitude();
    if (g_DynamicRangeTest) {
        LimitPeak(kDynamicRangeCeiling - g_ADynamicRange / 2.0, g_MainOutput == 7 ? 2.0 : 1.0);
    }
    _ComputePulseWidth();
    _ComputeECG2_27SegmentTimes();
    g_fOutputTime = 0.0;
    g_nPulsesRequired = 0;
    s_PacDelayTP = 0.0;
    // No pulse (nor staircase step) is in progress after a change.
    s_PacingHighRangeNeeded = false;
    s_PacingShortPulseNeeded = false;
    s_PacingIndicationNeeded = false;
    if (g_PacingAmplitude != 0.0) {
        _SetUpPacing();
        _SendPacingLevel();
    }
    if (g_MainOutput == 10 || g_MainOutput == 11) {
        _ComputeECGComplexParameters();
    }
    if (g_MainOutput == 14) {
        _StartInputDynamicRange();
    }
    return !s_ECGGoing && BeginStream();
}

void ChangeOnce() {
    bool starting = false;
    if (g_MainOutput == 0) {
        if (s_ECGGoing) {
            StopStream();
        }
    } else {
        starting = ApplyOutputFunction();
    }
    // The range settles here, before the poll thread builds the first packet of a stream started above.
    g_fVoltageRange = g_RangeV4Ch2Off;
    if (g_PacingAmplitude > 0.0 || g_DCVariable) {
        g_fVoltageRange = g_RangeV4Ch2On;
    }
    if (!(g_BaseLineOverload != 0 && g_MainOutput == 1)) {
        _SetRelaysV4();
        _SetDCOffset();
    }
    if (starting) {
        // Built by the poll thread at its next turn, like every packet: no graph callback runs on the
        // thread of a setting call.
        QueueStreamStart();
    }
}

} // namespace

void Change() {
    CSettingsLock lock;
    if (s_bChangesHeld) {
        return;
    }
    if (s_bChangeInProcess) {
        s_bChangeAgain = true;
        return;
    }
    s_bChangeInProcess = true;
    // Everything stored is put in force now: a change waiting for the cycle's end has nothing left to do.
    g_bChangeOnNextCycle = false;
    int rounds = 0;
    do {
        s_bChangeAgain = false;
        ChangeOnce();
    } while (s_bChangeAgain && ++rounds < kMaxChangeRounds);
    if (s_bChangeAgain && s_ECGGoing && g_MainOutput != 0) {
        g_bChangeOnNextCycle = true;
    }
    s_bChangeAgain = false;
    s_bChangeInProcess = false;
}

void _HoldChanges(bool hold) {
    s_bChangesHeld = hold;
}
