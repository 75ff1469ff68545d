#include "api/PacketStream.h"

#include "api/PollLoop.h"
#include "device/DeviceState.h"
#include "device/InstrumentCommands.h"
#include "device/SerialPort.h"
#include "synth/Change.h"
#include "synth/FrequencyScan.h"
#include "synth/FrequencyScanState.h"
#include "synth/MainFunctionVoltage.h"
#include "synth/OutputRange.h"
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
constexpr unsigned char kSubPacketHead = 0x01;
constexpr int kPacketMarkerOffset = 386;
constexpr unsigned char kPacketMarker = 'E';
static_assert(kSubPackets * kSubPacketSize == kSamplePacketSize, "whole sub-packets");
static_assert(kPacketMarkerOffset % kSubPacketSize < kSubPacketHeadSize, "the marker overwrites no sample");

constexpr uint8_t kFlagHighRange = 0x40;
constexpr uint8_t kFlagShortSample = 0x80;

constexpr double kSampleSeconds = 0.0002;
constexpr double kShortSampleSeconds = 0.0001;
// The graph callback gets every fifth sample.
constexpr int kGraphEvery = 5;
// Width of the pacing marker drawn through the pacing graph callback.
constexpr double kPacingMarkerSeconds = 0.01;

constexpr int kMaxCode = 4095;
constexpr double kZeroCode = 2048.0;

// Reads that one stale-request discard makes at most: a talkative instrument cannot keep it going.
constexpr int kMaxDiscardReads = 16;

} // namespace

SampleWord _CodeSample(double value, bool highRange, bool shortSample, bool baselineReset, double fullScale) {
    if (!std::isfinite(value)) {
        value = 0.0;
    }
    double x = highRange ? kZeroCode + 2.0 * value : kZeroCode + value / fullScale * 2000.0;
    if (!(x <= kMaxCode)) {
        x = kMaxCode; // also a full scale of 0
    }
    if (!(x >= 0.0)) {
        x = 0.0;
    }
    const int n = static_cast<int>(x);
    uint8_t high = static_cast<uint8_t>(n >> 8);
    if (highRange || baselineReset) {
        high |= kFlagHighRange;
    }
    if (shortSample) {
        high |= kFlagShortSample;
    }
    return {high, static_cast<uint8_t>(n & 0xFF)};
}

void SendNextPacket() {
    unsigned char packet[kSamplePacketSize];
    const unsigned generation = g_nStreamGeneration;
    bool playbackEnded = false;
    int sample = 0;
    const double graphDivisor = s_bIs300R ? 2.5 : 5.0;

    for (int k = 0; k < kSubPackets; ++k) {
        unsigned char* sub = packet + k * kSubPacketSize;
        sub[0] = kSubPacketHead;
        sub[1] = g_nPacketNumber++;
        sub[2] = 0x00;
        sub[3] = 0x00;
        for (int i = 0; i < kSamplesPerSubPacket; ++i, ++sample) {
            // Whole cycles in a double: no overflow however long the stream runs.
            const double phase = g_fOutputTime - g_fTimePeriod * std::trunc(g_fOutputTime / g_fTimePeriod);

            if (g_MainOutput == 13 && !g_bPlayLoop && g_fOutputTime != 0.0 && phase < kSampleSeconds) {
                g_MainOutput = 0;
                playbackEnded = true;
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
            _CheckIfChangeRequired(phase);
        }
    }
    packet[kPacketMarkerOffset] = kPacketMarker;

    // A callback stopped (or stopped and restarted) the stream meanwhile: the instrument has been told
    // "S" (and may have had its new stream's first packet); this packet belongs to neither.
    if (g_nStreamGeneration == generation) {
        _WriteCOMPort(kSamplePacketSize, packet, false);
    }

    if (playbackEnded) {
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
