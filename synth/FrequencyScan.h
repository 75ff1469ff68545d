#pragma once

// Puts the sine-scan settings back to off, 0.5 Hz, 150 Hz, 30 s (switching a running scan off).
void _RestoreFreqScanSineDefaults();

// After every packet while a scan runs: reports the frequency and ends the scan once it has left the
// range between start and stop.
void _UpdateFreqScanIfRequired();

// After every output sample while a scan runs: steps the frequency, keeping the position within the
// cycle, so that the waveform goes on without a jump in phase.
void _StepFrequencyScan();
