#include "synth/OutputRange.h"

double g_fVoltageRange = 5.0;
double g_RangeV4Ch2Off = kRangeV4Ch2OffAtLoad;
double g_RangeV4Ch2On = kRangeV4Ch2OnAtLoad;
