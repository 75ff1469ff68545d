#include "synth/SettingsLock.h"

namespace {
thread_local int t_nSettingsLockDepth = 0;
} // namespace

CSettingsLock::CSettingsLock() : m_lock(g_APICriticalSection) {
    ++t_nSettingsLockDepth;
}

CSettingsLock::~CSettingsLock() {
    --t_nSettingsLockDepth;
}

bool _InSettingCall() {
    return t_nSettingsLockDepth > 0;
}
