#include "api/DeviceInformation.h"

#include "api/ExchangeReplies.h"

#include <cstdio>
#include <cstring>

#include "device/DeviceState.h"
#include "device/Platform.h"
#include "device/InstrumentCommands.h"
#include "sync/CriticalSection.h"
#include "sync/Immortal.h"
#include "synth/SynthesisState.h"

unsigned char g_DeviceHWInfo[kDeviceHWInfoSize] = {};
bool g_bDeviceHWInfoValid = false;

bool DeriveDeviceIdentity(const unsigned char (&block)[kDeviceHWInfoSize], DeviceIdentity* out) {
    if (block[6] != 'E' || block[7] != 'E')
        return false;
    const unsigned unit = (unsigned(block[11]) << 8) | block[12];
    const unsigned group = block[10];
    out->newerForm = group >= 17;
    if (out->newerForm) {
        std::snprintf(out->hwInfo, sizeof out->hwInfo, "K%c%c%02u%02u-%02u%04u", block[6], block[7],
                      unsigned(block[8]), unsigned(block[9]), group, unit);
        out->is300R = block[9] == 2;
    } else {
        std::snprintf(out->hwInfo, sizeof out->hwInfo, "K%c%c%u%02u%03u", block[6], block[7], group,
                      unsigned(block[9]), unit);
        out->is300R = false;
    }
    std::snprintf(out->fwVer, sizeof out->fwVer, "%u.%u", unsigned(block[14]), unsigned(block[15]));
    std::snprintf(out->hwVer, sizeof out->hwVer, "%u.%u", unsigned(block[13]) / 10, unsigned(block[13]) % 10);
    out->aboveFWVer5_5 = ((unsigned(block[14]) * 16) | block[15]) > 0x54;
    return true;
}

void FilterSerialText(const unsigned char* reply, int length, char (&out)[kIdentityTextSize]) {
    size_t n = 0;
    for (int i = 0; i < length && n + 1 < sizeof out; ++i) {
        const unsigned char c = reply[i];
        if ((c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '-')
            out[n++] = char(c);
    }
    out[n] = '\0';
}

int UpdateDeviceInformation() {
    CExchangeRequests requests;
    if (!SendCommand(kCmdInformationQuery))
        return 0;
    unsigned char block[kDeviceHWInfoSize];
    if (requests.ReadBlock(block, kInformationWaitMs) < kDeviceHWInfoSize) {
        // A unit that does not send its block still streams; without the block its derived values and
        // the write-back of the identity store are unavailable.
        _SetAboveFWVer5_5(false);
        return 1;
    }
    DeviceIdentity id;
    if (!DeriveDeviceIdentity(block, &id))
        return 0;
    std::memcpy(g_DeviceHWInfo, block, sizeof block);
    g_bDeviceHWInfoValid = true;
    _SetBlockIdentity(id.hwInfo, id.fwVer, id.hwVer);
    if (id.newerForm)
        _SetModelIs300R(id.is300R);
    // Each complete block decides, so that a unit never keeps an earlier unit's answer.
    _SetAboveFWVer5_5(id.aboveFWVer5_5);
    return 1;
}

void ClearDeviceIdentity() {
    g_bDeviceHWInfoValid = false;
    _ClearIdentityTexts();
}
