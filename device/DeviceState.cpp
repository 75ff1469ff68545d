#include "device/DeviceState.h"

#include "device/Platform.h"
#include "sync/Immortal.h"

namespace {
// Never destroyed: the monitor thread may still close the port while static destructors run.
CImmortal<CSimpleCriticalSection> s_CriticalSection(false);
} // namespace

std::atomic<long> g_hDevice{-1};
char g_szDevicePath[512] = {};
bool g_bPortWriteStalled = false;
CSimpleCriticalSection& g_CriticalSection = s_CriticalSection.value;

bool IsPortOpen() {
    return g_hDevice != -1;
}
