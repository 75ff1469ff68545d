#include "stream/PacketStream.h"

#include "stream/DataRequests.h"
#include "device/DeviceState.h"
#include "device/InstrumentCommands.h"
#include "device/Platform.h"
#include "stream/Change.h"
#include "stream/FrequencyScanEnd.h"
#include "synth/FrequencyScan.h"
#include "synth/FrequencyScanState.h"
#include "synth/MainFunctionVoltage.h"
#include "stream/OutputStage.h"
#include "synth/PacingPulses.h"
#include "synth/PacingState.h"
#include "synth/PlaybackBuffer.h"
#include "synth/SyncCallbacks.h"
#include "synth/SynthesisState.h"
#include "synth/WaveformSettings.h"

#include <cmath>

uint8_t g_nPacketNumber = 0;
unsigned g_nStreamGeneration = 0;

namespace {

// Packet layout: 50 sub-packets of 64 bytes, each a 4-byte head (01, counter, 00, 00) and 30 samples of
// two bytes; byte 386 (a head byte of sub-packet 6) is overwritten with "E".
constexpr int kSubPacketSize = 64;
constexpr int kSubPackets = kSamplePacketSize / kSubPacketSize;
constexpr int kSubPacketHeadSize = 4;
constexpr int kSamplesPerSubPacket = (kSubPacketSize - kSubPacketHeadSize) / 2;
constexpr int kSamplesPerPacket = kSubPackets * kSamplesPerSubPacket;
constexpr unsigned char kSubPacketHead = 0x01;
constexpr int kPacketMarkerOffset = 386;
constexpr unsigned char kPacketMarker = 'E';
static_assert(kSubPackets * kSubPacketSize == kSamplePacketSize, "whole sub-packets");
static_assert(kPacketMarkerOffset % kSubPacketSize < kSubPacketHeadSize, "the marker overwrites no sample");

constexpr double kSampleSeconds = 0.0002;
constexpr double kShortSampleSeconds = 0.0001;
// The graph callback gets every fifth sample.
constexpr int kGraphEvery = 5;
// Width of the pacing marker drawn through the pacing graph callback.
constexpr double kPacingMarkerSeconds = 0.01;

// Reads that one stale-request discard makes at most: a talkative instrument cannot keep it going.
constexpr int kMaxDiscardReads = 16;

} // namespace

void SendNextPacket() {
    unsigned char packet[kSamplePacketSize];
    // A callback made while the packet is built may stop the stream, or stop and restart it (the new
    // stream's first packet is then the poll thread's next). The packet is then abandoned at
    // once: the instrument has been told "S", and the new stream's clock and counter are left as its own.
    // Once a single playback has ended in the packet, changes are held until it has been sent: its tail
    // and the end's report are never lost.
    const unsigned generation = g_nStreamGeneration;
    uint8_t counter = g_nPacketNumber;
    bool playbackEnded = false;
    const double graphDivisor = s_bIs300R ? 2.5 : 5.0;

    for (int sample = 0; sample < kSamplesPerPacket; ++sample) {
        const int k = sample / kSamplesPerSubPacket;
        const int i = sample % kSamplesPerSubPacket;
        unsigned char* sub = packet + k * kSubPacketSize;
        if (i == 0) {
            sub[0] = kSubPacketHead;
            sub[1] = counter++;
            sub[2] = 0x00;
            sub[3] = 0x00;
        }
        // Whole cycles in a double: no overflow however long the stream runs.
        const double phase = g_fOutputTime - g_fTimePeriod * std::trunc(g_fOutputTime / g_fTimePeriod);

        const bool singlePlayback = g_MainOutput == 13 && !g_bPlayLoop;
        if (singlePlayback && g_fOutputTime != 0.0 && phase < kSampleSeconds) {
            g_MainOutput = 0;
            playbackEnded = true;
            _HoldChanges(true);
        }
        double value = playbackEnded ? 0.0 : _GetMainFunctionVoltage(phase);
        _GetPacingV4(value);
        if (!std::isfinite(value)) {
            value = 0.0;
        }

        if (g_GraphCallback != nullptr && sample % kGraphEvery == 0) {
            g_GraphCallback(g_fOutputTimeGraph, value / graphDivisor);
        }
        if (g_PacingGraphCallback != nullptr && s_PacingIndicationNeeded) {
            const double tg = g_fOutputTimeGraph;
            g_PacingGraphCallback(tg, 0.0);
            g_PacingGraphCallback(tg, g_PacingAmplitude);
            g_PacingGraphCallback(tg + kPacingMarkerSeconds, g_PacingAmplitude);
            g_PacingGraphCallback(tg + kPacingMarkerSeconds, 0.0);
            s_PacingIndicationNeeded = false;
        }
        if (g_nStreamGeneration != generation) {
            if (playbackEnded) {
                _HoldChanges(false);
            }
            return;
        }

        const SampleWord word = _CodeSample(value, s_PacingHighRangeNeeded, s_PacingShortPulseNeeded,
                                            g_BaseLineOverload != 0, g_fVoltageRange);
        sub[kSubPacketHeadSize + 2 * i] = word.high;
        sub[kSubPacketHeadSize + 2 * i + 1] = word.low;

        const double step = s_PacingShortPulseNeeded ? kShortSampleSeconds : kSampleSeconds;
        g_fOutputTime += step;
        g_fOutputTimeGraph += step;

        if (g_bFrequencyScanEnabled) {
            _StepFrequencyScan();
        }
        // A single playback takes no change before its end: the change would start the recording again.
        // What was asked for meanwhile is put in force with the stop at the end.
        if (!singlePlayback) {
            _CheckIfChangeRequired(phase);
        }
        if (g_nStreamGeneration != generation) {
            if (playbackEnded) {
                _HoldChanges(false);
            }
            return;
        }
    }
    packet[kPacketMarkerOffset] = kPacketMarker;
    g_nPacketNumber = counter;
    _WriteCOMPort(kSamplePacketSize, packet, false);

    if (playbackEnded) {
        _HoldChanges(false);
        Change();
        if (g_SyncMainFuncCallback != nullptr) {
            g_SyncMainFuncCallback(0);
        }
    }
    _UpdateFreqScanIfRequired();
}

void _DiscardStaleDataRequests() {
    for (int i = 0; i < kMaxDiscardReads && !s_ECGGoing && DoDataPoll(nullptr, 0); ++i) {
    }
}
