#pragma once

#include "qolt_api.h"

// Callback slots of the waveform output: null at load, set by their registration calls, never cleared.
extern QoltTimeAmpCB g_GraphCallback;             // every fifth output sample
extern QoltTimeAmpCB g_PacingGraphCallback;       // four points per pacemaker pulse
extern QoltSyncFreqCB g_SyncFreqCallback;         // the library changed the frequency by itself
extern QoltSyncMainFuncCB g_SyncMainFuncCallback; // the library changed the output function by itself
