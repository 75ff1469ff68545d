#include "synth/OutputRange.h"

double g_fVoltageRange = 5.0;
double g_RangeV4Ch2Off = 5.0;
double g_RangeV4Ch2On = 4.0;
