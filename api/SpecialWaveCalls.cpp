#include "qolt_api.h"
#include "stream/Change.h"
#include "synth/SettingsLock.h"
#include "synth/WaveformSettings.h"
#include "synth/tables/StandardTables.h"

// These apply at once and need no instrument: the stored waveforms restart from their first sample.

int SetSpecialWave227(SpecialWave227_E index) {
    CSettingsLock lock;
    const int w = static_cast<int>(index);
    if (w < 0 || w >= kIEC227WaveCount) {
        return -2;
    }
    g_MainOutput = 8;
    g_nSpecialWaveform = w;
    Change();
    return 0;
}

int GetSpecialWave227(void) {
    CSettingsLock lock;
    return g_nSpecialWaveform;
}

int SetSpecialWave251(SpecialWave251_E index) {
    CSettingsLock lock;
    const int w = static_cast<int>(index);
    if (w < 0 || w >= kIEC251WaveCount) {
        return -2;
    }
    g_MainOutput = 9;
    g_nSpecialWaveform = w;
    Change();
    return 0;
}

int GetSpecialWave251(void) {
    CSettingsLock lock;
    return g_nSpecialWaveform;
}

int SetANE20000Lead(int lead) {
    CSettingsLock lock;
    if (lead < 0 || lead >= kANE20000LeadCount) {
        return -1;
    }
    g_MainOutput = 15;
    g_nANE20000ChannelNumber = lead;
    Change();
    return 0;
}

int GetANE20000Lead(void) {
    CSettingsLock lock;
    return g_nANE20000ChannelNumber;
}
