#include "qolt_api.h"

#include "device/ProbeReport.h"
#include "sync/LogQueue.h"

#include <climits>

static_assert(QoltLog_Error == kLogError && QoltLog_Warning == kLogWarning && QoltLog_Info == kLogInfo &&
                  QoltLog_Wire == kLogWire && QoltLog_Off == kLogOff,
              "one numbering of the log levels");

void RegisterLogCallback(QoltLogCB callback, int level) {
    SetLogSink(callback, level);
}

int GetConnectionReport(char* buffer, size_t size) {
    const std::size_t length = CopyProbeReport(buffer, size);
    return length > static_cast<std::size_t>(INT_MAX) ? INT_MAX : static_cast<int>(length);
}
