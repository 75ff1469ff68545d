#include "api/DeviceInformation.h"
#include "core/InstrumentFacts.h"
#include "api/Session.h"
#include "device/DeviceState.h"
#include "device/InstrumentCommands.h"
#include "device/Platform.h"

#include <cstdio>
#include <cstring>
#include <mutex>

namespace {

// The opening exchange on an identified port; the caller closes the port when it fails.
bool Identify(const char* name) {
    _DrainCOMPort();
    if (!IsTargetDevice())
        return false;

    if (!SendCommand(kCmdSerialText))
        return false;
    unsigned char reply[kSerialTextReplyCapacity];
    const int got = ReadReply(reply, kSerialTextReplyCapacity, kSerialTextReplyMinimum, kSerialTextWaitMs);
    if (got < kSerialTextReplyMinimum)
        return false;
    char serial[kIdentityTextSize];
    FilterSerialText(reply, got, serial);
    _SetSerialText(serial);

    if (UpdateDeviceInformation() < 1)
        return false;

    const size_t length = name == nullptr ? 0 : std::strlen(name);
    if (length == 0)
        return false;
    unsigned char tag[kPortTagSize];
    MakePortTagCommand(name[length - 1], tag);
    if (!SendCommand(tag))
        return false;
    // The reply is not used, but it is collected whole: left in the port, it could share the poll
    // thread's first read with a data request, which would then go unanswered.
    unsigned char tagReply[kPortTagReplyCapacity];
    ReadReply(tagReply, kPortTagReplyCapacity, kPortTagReplyCapacity, kPortTagWaitMs);

    _SetPortName(name);
    int com = 0;
    if (std::sscanf(name, "COM%d", &com) == 1)
        g_iTargetDeviceSerialNumber = com;

    return SendCommand(kCmdEndOfIdentification);
}

} // namespace

bool _COMStringFound(char* name) {
    // Nothing of an earlier link's block may be written back to this unit.
    g_bDeviceHWInfoValid = false;
    if (Identify(name)) {
        _FirmwareFactsForLinkedUnit();
        return true;
    }
    // Closed at once: a rejected port left open would keep its descriptor and lock file until some later
    // probe happened to reopen it.
    ClearDeviceIdentity();
    DeviceClose();
    return false;
}
