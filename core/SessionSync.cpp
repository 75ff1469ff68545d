#include "core/SessionSync.h"

#include "qolt_api.h"
#include "sync/Immortal.h"

namespace {
CImmortal<CSimpleCriticalSection> s_APICriticalSection(true);
CImmortal<CAutoResetEvent> s_hReconnectEvent(false);
} // namespace

CSimpleCriticalSection& g_APICriticalSection = s_APICriticalSection.value;
CAutoResetEvent& g_hReconnectEvent = s_hReconnectEvent.value;
std::atomic<unsigned long> g_nLinkGeneration{0};

void BumpLinkGeneration() {
    g_nLinkGeneration.fetch_add(1);
}

void ReconnectDevice(void) {
    g_hReconnectEvent.SetEvent();
}
