#include "synth/FrequencyScanState.h"

bool g_FreqScan1 = false;
bool g_FreqScan3 = false;
bool g_bFrequencyScanEnabled = false;
double g_Fstart = 0.5;
double g_Ffinal = 150.0;
int g_Fduration = 30;
double g_fFrequencyScanIncreasement = 0.0;
