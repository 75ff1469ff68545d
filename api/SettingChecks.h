#pragma once

// Checks shared by the setting calls.

// No instrument port is open and no connection listener is registered: setting calls return -1.
bool _IsNotReady();

// No instrument port is open (whatever the listener).
bool _IsPortClosed();

// lo <= v <= hi; false for NaN, so a NaN argument is refused with the call's range code.
inline bool _InRange(double v, double lo, double hi) {
    return v >= lo && v <= hi;
}

// Highest frequency each stored output function accepts (the pulses 5 Hz, ECG2_27 6 Hz, the rest 500 Hz).
inline double _FrequencyLimit(int stored) {
    switch (stored) {
    case 4:
    case 5:
        return 5.0;
    case 7:
        return 6.0;
    default:
        return 500.0;
    }
}
