#include "qolt_api.h"

#include "sync/LogQueue.h"

static_assert(QoltLog_Error == kLogError && QoltLog_Warning == kLogWarning && QoltLog_Info == kLogInfo &&
                  QoltLog_Wire == kLogWire && QoltLog_Off == kLogOff,
              "one numbering of the log levels");

void RegisterLogCallback(QoltLogCB callback, int level) {
    SetLogSink(callback, level);
}
