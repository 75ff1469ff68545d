#include "qolt_api.h"
#include "synth/SyncCallbacks.h"

void RegisterTimeAmpCB(QoltTimeAmpCB callback) {
    g_GraphCallback = callback;
}

void RegisterPacingTimeAmpCB(QoltTimeAmpCB callback) {
    g_PacingGraphCallback = callback;
}

void RegisterSyncFreqCB(QoltSyncFreqCB callback) {
    g_SyncFreqCallback = callback;
}

void RegisterSyncMainFuncCB(QoltSyncMainFuncCB callback) {
    g_SyncMainFuncCallback = callback;
}
