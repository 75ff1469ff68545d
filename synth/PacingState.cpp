#include "synth/PacingState.h"

double s_PacDelayTP = 0.0;
int g_nPulsesRequired = 0;
bool s_PacingHighRange = true;
bool s_PacingHighRangeNeeded = false;
bool s_PacingShortPulseNeeded = false;
bool s_PacingIndicationNeeded = false;
