#include "qolt_api.h"
#include "synth/SettingsLock.h"
#include "synth/SyncCallbacks.h"

void RegisterTimeAmpCB(QoltTimeAmpCB callback) {
    CSettingsLock lock;
    g_GraphCallback = callback;
}

void RegisterPacingTimeAmpCB(QoltTimeAmpCB callback) {
    CSettingsLock lock;
    g_PacingGraphCallback = callback;
}

void RegisterSyncFreqCB(QoltSyncFreqCB callback) {
    CSettingsLock lock;
    g_SyncFreqCallback = callback;
}

void RegisterSyncMainFuncCB(QoltSyncMainFuncCB callback) {
    CSettingsLock lock;
    g_SyncMainFuncCallback = callback;
}
