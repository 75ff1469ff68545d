#include "synth/PacingState.h"

double s_PacDelayTP = 0.0;
int g_nPulsesRequired = 0;
double g_PacingFrequency = 1.0;
int g_nPacingDurationCounter = 20;
int g_nPacingPulseCount = 1000;
bool s_PacingHighRange = true;
bool s_PacingHighRangeNeeded = false;
bool s_PacingShortPulseNeeded = false;
bool s_PacingIndicationNeeded = false;
