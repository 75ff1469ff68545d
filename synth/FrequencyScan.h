#pragma once

// Puts the sine-scan settings back to off, 0.5 Hz, 150 Hz, 30 s (switching a running scan off).
void _RestoreFreqScanSineDefaults();
