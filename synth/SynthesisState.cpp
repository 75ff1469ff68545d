#include "synth/SynthesisState.h"

double g_fTimePeriod = 0.1;
double g_fOutputTime = 0.0;
double g_fOutputTimeGraph = 0.0;
double g_fPulseWidth = 0.1;
bool s_ECGGoing = false;
bool g_bChangeOnNextCycle = false;
