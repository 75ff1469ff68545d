#pragma once

#include "synth/WaveformSettings.h" // _FrequencyLimit

// Checks shared by the setting calls.

// No instrument port is open and no connection listener is registered: setting calls return -1.
bool _IsNotReady();

// No instrument port is open (whatever the listener).
bool _IsPortClosed();

// lo <= v <= hi; false for NaN, so a NaN argument is refused with the call's range code.
inline bool _InRange(double v, double lo, double hi) {
    return v >= lo && v <= hi;
}

// Puts the sine-scan settings back to off, 0.5 Hz, 150 Hz, 30 s (switching a running scan off).
void _RestoreFreqScanSineDefaults();
