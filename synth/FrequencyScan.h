#pragma once

// Frequency scans: the frequency of the running waveform swept linearly from a start to a stop frequency,
// stepped after every output sample. A sine scan (SetFreqScanSine) or the ECG-rate scan
// (SetFreqScanECG, function 7 from 0.05 Hz to 0.5 Hz in 30 s). A scan ends by switching the output off
// (stream/FrequencyScanEnd.h).

constexpr double kScanHighestFrequency = 500.0;
constexpr double kSineScanLowestStart = 0.5;
constexpr double kSineScanLowestStop = 0.01;
constexpr int kSineScanShortest = 10; // s
constexpr int kSineScanLongest = 180; // s

// The sine-scan settings a sine scan accepts.
bool _IsValidSineScan(double start, double stop, int duration);

// After every output sample while a scan runs (g_bFrequencyScanEnabled), once the output time has
// advanced: steps the frequency, keeping the position within the cycle, so that the waveform goes on
// without a jump in phase.
void _StepFrequencyScan();
