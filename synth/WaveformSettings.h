#pragma once

// The waveform settings of the process. Setting calls write them (a value with a "next" twin is written
// into the twin); the change step turns them into the derived state that the synthesis reads. The initial
// values below are the defaults at library load, the values ResetQOLT restores.

// Output function as stored: the call numbers 6 and 7 are kept as 12 and 13.
extern int g_MainOutput;

extern double g_Frequency;     // Hz, in force
extern double g_NextFrequency; // Hz, as set
extern double g_Amplitude;     // peak in the sample scale, in force (set at the first change)
extern double g_NextAmplitude; // setting / 1000

extern double g_PulseWidth; // ms
extern bool g_InputImpedance;
extern unsigned int g_OutputLead; // bit n = lead n switched on (leads 0 to 8)

extern double g_QRSDuration;            // ms
extern double g_TWaveAmplitude;         // T wave of the ECG2_27 complex, in the sample scale
extern int g_MainNoise;                 // ECG2_27_NoiseFreq_E: 0 none, 1 50 Hz, other 60 Hz
extern double g_MainNoiseAmplitude;     // peak, in force (half the setting)
extern double g_NextMainNoiseAmplitude; // peak-to-peak, as set
extern bool g_AAMIDriftTest;
extern bool g_DynamicRangeTest;
extern double g_ADynamicRange; // peak-to-peak amplitude of the added sine
extern double g_FDynamicRange; // Hz of the added sine

extern int g_BaseLineOverload; // baseline-reset test mode: 0 off, 1..4 sine at 50, 60, 80, 100 Hz
extern int g_DCSetting;
extern bool g_DCVariable;
extern bool g_DCCommon;

extern int g_nSpecialWaveform;       // waveform index of output functions 8 and 9
extern int g_nANE20000ChannelNumber; // lead 0 to 8 of output function 15

extern double g_PacingAmplitude;                 // 0 = pacing off
extern double g_PacingDuration;                  // ms
extern unsigned int g_PacingRate;                // pulses per minute
extern int g_PacingPulse;                        // PacingPulse_E
extern double g_OvershootTimeConstant;           // s, in force
extern unsigned int g_NextOvershootTimeConstant; // ms, as set
extern double g_fOvershootAmplitude;             // in force
extern double g_fNextOvershootAmplitude;         // as set; 0 = automatic

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
