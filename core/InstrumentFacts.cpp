#include "api/FirmwareFacts.h"

#include "api/DeviceInformation.h"
#include "api/PollLoop.h"
#include "synth/OutputRange.h"

#include <cstring>
#include <mutex>

namespace {

struct Facts {
    int version4;
    int number;
    double rangeOff;
    double rangeOn;
};

constexpr Facts kLoadTimeFacts = {0, 0, kRangeV4Ch2OffAtLoad, kRangeV4Ch2OnAtLoad};

// The unit that sent the last version report (empty: none) and the facts it set.
char s_ReportingUnit[kIdentityTextSize] = {};
Facts s_ReportedFacts = kLoadTimeFacts;

// The linked unit's serial number as the application sees it: from the information block, else the
// serial text of the identification. Empty when neither is known.
void LinkedUnit(char (&out)[kIdentityTextSize]) {
    std::lock_guard<std::mutex> guard(g_IdentityMutex);
    std::memcpy(out, g_HWInfo[0] != '\0' ? g_HWInfo : g_SerialNo, sizeof out);
    out[sizeof out - 1] = '\0';
}

} // namespace

void _KeepFirmwareFactsOfLinkedUnit() {
    LinkedUnit(s_ReportingUnit);
    s_ReportedFacts = {g_bVersion4, g_nVersionNumber, g_RangeV4Ch2Off, g_RangeV4Ch2On};
}

void _FirmwareFactsForLinkedUnit() {
    char unit[kIdentityTextSize];
    LinkedUnit(unit);
    // A unit that cannot be told apart from another is not taken for the one that reported.
    const bool reporter = unit[0] != '\0' && std::strcmp(unit, s_ReportingUnit) == 0;
    const Facts& facts = reporter ? s_ReportedFacts : kLoadTimeFacts;
    g_bVersion4 = facts.version4;
    g_nVersionNumber = facts.number;
    g_RangeV4Ch2Off = facts.rangeOff;
    g_RangeV4Ch2On = facts.rangeOn;
}
