#pragma once

#include "qolt_api.h"

// Connection listener registered by Init (or Connect's own handler); null when no session was started.
extern QoltListenerCB g_Callback;
