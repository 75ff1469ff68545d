#include "qolt_api.h"

#include "api/DeviceInformation.h"
#include "api/ExchangeReplies.h"
#include "api/PollLoop.h"
#include "stream/DataRequests.h"
#include "core/SessionSync.h"
#include "device/InstrumentCommands.h"
#include "device/Platform.h"
#include "sync/CriticalSection.h"

#include <cstring>

namespace {

constexpr int kMfgRecordOffset = 48;
constexpr unsigned long kMfgRecordSize = 16;

static_assert(kInformationBlockSize == kDeviceHWInfoSize, "information block size");
static_assert(kMfgRecordOffset + kMfgRecordSize == kDeviceHWInfoSize, "record at the end of the block");

// Reads a block reply into g_DeviceHWInfo. Only a complete block that identifies the instrument is
// taken: a partial or shifted one would be written back into the identity store by the next write.
bool ReceiveBlock(CExchangeRequests& requests, unsigned waitMs) {
    unsigned char block[kDeviceHWInfoSize];
    if (requests.ReadBlock(block, waitMs) < kDeviceHWInfoSize)
        return false;
    DeviceIdentity id;
    if (!DeriveDeviceIdentity(block, &id))
        return false;
    std::memcpy(g_DeviceHWInfo, block, sizeof block);
    g_bDeviceHWInfoValid = true;
    return true;
}

// Sends `block` to the instrument's identity store and takes the stored block back. Caller holds
// g_APICriticalSection with polling paused.
int StoreBlock(const unsigned char (&block)[kDeviceHWInfoSize]) {
    {
        CExchangeRequests requests;
        unsigned char message[kDeviceHWInfoSize];
        MakeStoreBlockCommand(block, message);
        if (!SendCommand(message))
            return 0;
        if (!ReceiveBlock(requests, kStoreBlockWaitMs))
            return 0;
    }
    return UpdateDeviceInformation();
}

unsigned char Low8(int value) {
    return static_cast<unsigned char>(static_cast<unsigned>(value) & 0xFFu);
}

} // namespace

int SetDeviceInformation(int group, int model, int hwVersion, int unit) {
    CAutoPausePooling pause;
    CAutoCriticalSection lock(g_APICriticalSection);
    // Written back whole: only a block that came complete on this link may be the base.
    if (!g_bDeviceHWInfoValid)
        return 0;
    unsigned char block[kDeviceHWInfoSize];
    {
        CExchangeRequests requests;
        if (!SendCommand(kCmdInformationQuery))
            return 0;
        if (!ReceiveBlock(requests, kInformationWaitMs))
            return 0;
    }
    std::memcpy(block, g_DeviceHWInfo, sizeof block);
    block[6] = 'E';
    block[7] = 'E';
    block[10] = Low8(group);
    block[9] = Low8(model);
    block[11] = Low8(unit >> 8);
    block[12] = Low8(unit);
    block[13] = Low8(hwVersion);
    return StoreBlock(block);
}

int WriteMfgInfo(const unsigned char* data, unsigned long length) {
    if (data == nullptr)
        length = 0;
    CAutoPausePooling pause;
    CAutoCriticalSection lock(g_APICriticalSection);
    if (!g_bDeviceHWInfoValid)
        return 0;
    unsigned char block[kDeviceHWInfoSize];
    std::memcpy(block, g_DeviceHWInfo, sizeof block);
    if (length > 0)
        std::memcpy(block + kMfgRecordOffset, data, length < kMfgRecordSize ? length : kMfgRecordSize);
    return StoreBlock(block);
}

int ReadMfgInfo(unsigned char* buffer, unsigned long length) {
    if (buffer == nullptr)
        length = 0;
    CAutoCriticalSection lock(g_APICriticalSection);
    if (length > 0)
        std::memcpy(buffer, g_DeviceHWInfo + kMfgRecordOffset,
                    length < kMfgRecordSize ? length : kMfgRecordSize);
    return 1;
}
