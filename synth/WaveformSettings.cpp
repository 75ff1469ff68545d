#include "synth/WaveformSettings.h"

int g_MainOutput = 0;

double g_Frequency = 10.0;
double g_NextFrequency = 10.0;
double g_Amplitude = 0.0;
double g_NextAmplitude = 0.1;

double g_PulseWidth = 100.0;
bool g_InputImpedance = true;
unsigned int g_OutputLead = 1;

double g_QRSDuration = 100.0;
double g_TWaveAmplitude = 0.2;
int g_MainNoise = 0;
double g_MainNoiseAmplitude = 0.0;
double g_NextMainNoiseAmplitude = 0.1;
bool g_AAMIDriftTest = false;
bool g_DynamicRangeTest = false;
double g_ADynamicRange = 1.0;
double g_FDynamicRange = 40.0;

int g_BaseLineOverload = 0;
int g_DCSetting = 0;
bool g_DCVariable = false;
bool g_DCCommon = false;

int g_nSpecialWaveform = 0;
int g_nANE20000ChannelNumber = 0;

double g_PacingAmplitude = 0.0;
double g_PacingDuration = 2.0;
unsigned int g_PacingRate = 60;
int g_PacingPulse = 0;
double g_OvershootTimeConstant = 0.0;
unsigned int g_NextOvershootTimeConstant = 0;
double g_fOvershootAmplitude = 0.0;
double g_fNextOvershootAmplitude = 0.0;
