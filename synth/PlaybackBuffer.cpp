#include "synth/PlaybackBuffer.h"

double* g_pECGFile = nullptr;
int g_nECGFileSize = 0;
double g_fECGFileFreq = 0.0;
double g_fECGFileMax = 0.0;
bool g_bPlayLoop = true;
