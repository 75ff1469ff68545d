#include "synth/SettingChecks.h"

#include "api/SessionState.h"
#include "device/DeviceState.h"

bool _IsPortClosed() {
    return g_hDevice == -1;
}

bool _IsNotReady() {
    return _IsPortClosed() && g_Callback == nullptr;
}
