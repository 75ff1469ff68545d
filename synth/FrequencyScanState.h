#pragma once

// Frequency-scan state. The three flags are set together when a scan starts and cleared together when the
// output is switched off; while any is set, the frequency belongs to the scan.
extern bool g_FreqScan1;                    // a sine scan is running
extern bool g_FreqScan3;                    // an ECG-rate scan is running
extern bool g_bFrequencyScanEnabled;        // the frequency is stepped after every output sample
extern double g_Fstart;                     // Hz
extern double g_Ffinal;                     // Hz
extern int g_Fduration;                     // s, sine scan
extern double g_fFrequencyScanIncreasement; // Hz per output sample

inline bool _IsFrequencyScanRunning() {
    return g_bFrequencyScanEnabled || g_FreqScan1 || g_FreqScan3;
}
