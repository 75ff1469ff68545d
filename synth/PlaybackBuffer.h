#pragma once

// The recorded-signal playback buffer: written by the loaders (one publish step), read by the synthesis and
// the packet stream. Invariant: g_nECGFileSize never exceeds the array g_pECGFile points to; null means 0.
extern double* g_pECGFile;    // samples in file units
extern int g_nECGFileSize;    // number of valid samples
extern double g_fECGFileFreq; // samples per second
extern double g_fECGFileMax;  // peak magnitude / 1000, at most 5.0
extern bool g_bPlayLoop;      // playback repeats at the end of the recording
