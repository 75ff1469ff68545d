#include "synth/OutputRange.h"

double g_fVoltageRange = 5.0;
