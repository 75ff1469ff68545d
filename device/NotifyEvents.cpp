#include "device/NotifyEvents.h"

#include "sync/CriticalSection.h"
#include "sync/Immortal.h"

#include <map>

namespace {
// Never destroyed: a window thread may still dispatch while static destructors run.
CImmortal<std::map<unsigned, QoltNotifyCB>> s_NotifyEvents;
CImmortal<CSimpleCriticalSection> s_NotifyLock(false);
// Message code -> callback; a code without an entry has no registration.
std::map<unsigned, QoltNotifyCB>& g_mapNotifyEvent = s_NotifyEvents.value;
} // namespace

void RegisterNotifyEvent(unsigned code, QoltNotifyCB callback) {
    try {
        CAutoCriticalSection lock(s_NotifyLock.value);
        if (callback == nullptr) {
            g_mapNotifyEvent.erase(code);
        } else {
            g_mapNotifyEvent[code] = callback;
        }
    } catch (...) {
        // No memory for a new entry: the registration is not made.
    }
}

QoltNotifyCB FindNotifyEvent(unsigned code) {
    CAutoCriticalSection lock(s_NotifyLock.value);
    const auto found = g_mapNotifyEvent.find(code);
    return found == g_mapNotifyEvent.end() ? nullptr : found->second;
}
