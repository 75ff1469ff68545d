#include "api/SettingChecks.h"

#include "api/SessionState.h"
#include "device/DeviceState.h"
#include "device/Platform.h"

bool _IsPortClosed() {
    return !IsPortOpen();
}

bool _IsNotReady() {
    return _IsPortClosed() && g_Callback == nullptr;
}
