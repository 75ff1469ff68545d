#include "synth/SyncCallbacks.h"

QoltTimeAmpCB g_GraphCallback = nullptr;
QoltTimeAmpCB g_PacingGraphCallback = nullptr;
QoltSyncFreqCB g_SyncFreqCallback = nullptr;
QoltSyncMainFuncCB g_SyncMainFuncCallback = nullptr;
