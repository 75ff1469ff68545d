#include "synth/FrequencyScan.h"

void _RestoreFreqScanSineDefaults() {
    // Body arrives with the frequency-scan calls: SetFreqScanSine(false, 0.5, 150.0, 30).
}
