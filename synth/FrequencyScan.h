#pragma once

// Frequency scans: the frequency of the running waveform swept linearly from a start to a stop frequency,
// stepped after every output sample. A sine scan (SetFreqScanSine) or the ECG-rate scan
// (SetFreqScanECG, function 7 from 0.05 Hz to 0.5 Hz in 30 s). A scan ends by switching the output off.

// Puts the sine-scan settings back to off, 0.5 Hz, 150 Hz, 30 s (switching a running scan off).
void _RestoreFreqScanSineDefaults();

// After every output sample while a scan runs (g_bFrequencyScanEnabled), once the output time has
// advanced: steps the frequency, keeping the position within the cycle, so that the waveform goes on
// without a jump in phase.
void _StepFrequencyScan();

// After every packet: reports the frequency while a scan runs and ends the scan once the frequency has
// left the range between start and stop.
void _UpdateFreqScanIfRequired();
