#include "api/SessionState.h"

QoltListenerCB g_Callback = nullptr;
