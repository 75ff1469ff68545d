#include "qolt_api.h"

#include "api/DeviceInformation.h"
#include "api/ExchangeReplies.h"
#include "api/PollLoop.h"
#include "stream/DataRequests.h"
#include "core/SessionSync.h"
#include "device/DeviceState.h"
#include "device/InstrumentCommands.h"
#include "device/Platform.h"
#include "sync/CriticalSection.h"
#include "synth/SynthesisState.h"

#include <cstring>
#include <mutex>

namespace {

constexpr int kTextResultSize = 32;
// The converter's reply: the marker and the value's two bytes.
constexpr int kConverterReplySize = 3;
constexpr char kSDKVersion[] = QOLT_SDK_VERSION_STRING;

// Copies at most kTextResultSize - 1 characters and the terminator.
void CopyText(char (&result)[kTextResultSize], const char* text) {
    std::memset(result, 0, sizeof result);
    const size_t length = strnlen(text, sizeof result - 1);
    std::memcpy(result, text, length);
}

} // namespace

const char* GetSerialNumber(void) {
    static char result[kTextResultSize];
    std::lock_guard<std::mutex> guard(g_IdentityMutex);
    CopyText(result, g_HWInfo[0] != '\0' ? g_HWInfo : g_SerialNo);
    return result;
}

const char* GetFWVersion(void) {
    static char result[kTextResultSize];
    std::lock_guard<std::mutex> guard(g_IdentityMutex);
    CopyText(result, g_FWVer);
    return result;
}

const char* GetHWVersion(void) {
    static char result[kTextResultSize];
    std::lock_guard<std::mutex> guard(g_IdentityMutex);
    CopyText(result, g_HWVer);
    return result;
}

const char* GetHWInfo(void) {
    static char result[kTextResultSize];
    std::lock_guard<std::mutex> guard(g_IdentityMutex);
    CopyText(result, g_HWInfo);
    return result;
}

const char* GetUSBPort(void) {
    // Port names are paths: this result has the port name's own size.
    static char result[sizeof g_COMString];
    std::lock_guard<std::mutex> guard(g_IdentityMutex);
    std::memcpy(result, g_COMString, sizeof result);
    result[sizeof result - 1] = '\0';
    return result;
}

const char* GetSDKVersion(void) {
    return kSDKVersion;
}

bool IsQOLT300R(void) {
    return s_bIs300R;
}

bool IsVersion4(void) {
    CAutoCriticalSection lock(g_APICriticalSection);
    return g_bVersion4 != 0;
}

double GetTimePeriod(void) {
    CAutoCriticalSection lock(g_APICriticalSection);
    return g_fTimePeriod;
}

void RegisterErrorCallback(QoltErrorCB callback) {
    CAutoPausePooling pause;
    CAutoCriticalSection lock(g_APICriticalSection);
    g_ErrorCallback = callback;
}

int GetAD(void) {
    // The reply must not be taken by the poll thread, nor a data request by this call.
    CAutoPausePooling pause;
    CAutoCriticalSection lock(g_APICriticalSection);
    if (!IsPortOpen())
        return 0;
    CExchangeRequests requests;
    if (!SendCommand(kCmdConverterReading))
        return 0;
    unsigned char reply[kConverterReplyCapacity];
    const int n = requests.ReadReply(reply, kConverterReplyCapacity, kConverterReplySize, kConverterWaitMs);
    for (int i = 0; i + 2 < n; ++i) {
        if (reply[i] == kConverterReplyMarker) {
            requests.NoteRequests(reply + i + 3, n - i - 3);
            return (reply[i + 1] << 8) | reply[i + 2];
        }
    }
    return 0;
}
