#include "synth/PacingState.h"

double s_PacDelayTP = 0.0;
bool s_PacingHighRangeNeeded = false;
