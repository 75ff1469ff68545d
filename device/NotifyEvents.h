#pragma once

#include "qolt_api.h"

// System notification callbacks by message code (RegisterNotifyEvent, declared in qolt_api.h). The POSIX
// monitor polls and does not use them; the Windows monitor's window procedure dispatches through them.

// The callback registered for the code; null when none.
QoltNotifyCB FindNotifyEvent(unsigned code);
