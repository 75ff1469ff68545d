#include "qolt_api.h"
#include "stream/OutputStage.h"
#include "api/SettingChecks.h"
#include "synth/SettingsLock.h"
#include "synth/WaveformSettings.h"

namespace {

constexpr int kLeadCount = 9;

bool IsLead(int lead) {
    return lead >= 0 && lead < kLeadCount;
}

} // namespace

int SetOutputLead(int lead, bool on) {
    CSettingsLock lock;
    if (_IsNotReady()) {
        return -1;
    }
    if (!IsLead(lead)) {
        return -2;
    }
    const unsigned int bit = 1u << lead;
    if (((g_OutputLead & bit) != 0) == on) {
        return 0;
    }
    g_OutputLead ^= bit;
    _SetRelaysV4();
    return 0;
}

bool GetOutputLead(int lead) {
    CSettingsLock lock;
    return IsLead(lead) && (g_OutputLead & (1u << lead)) != 0;
}

int SetInputImpedanceMode(bool mode) {
    CSettingsLock lock;
    if (_IsNotReady()) {
        return -1;
    }
    g_InputImpedance = mode;
    _SetRelaysV4();
    return 0;
}

bool GetInputImpedanceMode(void) {
    CSettingsLock lock;
    return g_InputImpedance;
}
