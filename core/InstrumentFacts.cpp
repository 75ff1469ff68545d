#include "core/InstrumentFacts.h"

#include "sync/Immortal.h"

#include <cstdio>
#include <cstring>

namespace {
// Never destroyed: queries may still run while other units' static objects go at unload.
CImmortal<std::mutex> s_IdentityMutex;
} // namespace

std::mutex& g_IdentityMutex = s_IdentityMutex.value;
char g_SerialNo[kIdentityTextSize] = {};
char g_HWInfo[kIdentityTextSize] = {};
char g_FWVer[kIdentityTextSize] = {};
char g_HWVer[kIdentityTextSize] = {};
char g_COMString[kPortNameSize] = {};

std::atomic<bool> s_bIs300R{false};
std::atomic<bool> g_AboveFWVer5_5{false};

std::atomic<int> g_bVersion4{0};
std::atomic<int> g_nVersionNumber{0};
double g_RangeV4Ch2Off = kRangeV4Ch2OffAtLoad;
double g_RangeV4Ch2On = kRangeV4Ch2OnAtLoad;

void _SetSerialText(const char (&serial)[kIdentityTextSize]) {
    std::lock_guard<std::mutex> guard(g_IdentityMutex);
    std::memcpy(g_SerialNo, serial, sizeof g_SerialNo);
    g_SerialNo[sizeof g_SerialNo - 1] = '\0';
}

void _SetPortName(const char* name) {
    std::lock_guard<std::mutex> guard(g_IdentityMutex);
    std::snprintf(g_COMString, sizeof g_COMString, "%s", name == nullptr ? "" : name);
}

void _SetBlockIdentity(const char (&hwInfo)[kIdentityTextSize], const char (&fwVer)[kIdentityTextSize],
                       const char (&hwVer)[kIdentityTextSize]) {
    std::lock_guard<std::mutex> guard(g_IdentityMutex);
    std::memcpy(g_HWInfo, hwInfo, sizeof g_HWInfo);
    std::memcpy(g_FWVer, fwVer, sizeof g_FWVer);
    std::memcpy(g_HWVer, hwVer, sizeof g_HWVer);
    g_HWInfo[sizeof g_HWInfo - 1] = g_FWVer[sizeof g_FWVer - 1] = g_HWVer[sizeof g_HWVer - 1] = '\0';
}

void _ClearIdentityTexts() {
    std::lock_guard<std::mutex> guard(g_IdentityMutex);
    g_SerialNo[0] = g_HWInfo[0] = g_FWVer[0] = g_HWVer[0] = '\0';
    std::memset(g_COMString, 0, sizeof g_COMString);
}

void _SetModelIs300R(bool is300R) {
    s_bIs300R = is300R;
}

void _SetAboveFWVer5_5(bool above) {
    g_AboveFWVer5_5 = above;
}

namespace {

// Firmware from this number on drives both ranges to 5 V full scale (except units whose serial number
// is in the older form).
constexpr char kFullRangeFirmware[] = "4000002";
constexpr int kVersionReportDigits = 7;

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

void _RecordVersionReport(const char* digits) {
    g_bVersion4 = 1;
    char text[kVersionReportDigits + 1];
    std::memcpy(text, digits, kVersionReportDigits);
    text[kVersionReportDigits] = '\0';
    int number = 0;
    for (const char* p = text; *p >= '0' && *p <= '9'; ++p)
        number = number * 10 + (*p - '0');
    g_nVersionNumber = number;
    if (std::strcmp(text, kFullRangeFirmware) >= 0) {
        bool olderSerialForm;
        {
            std::lock_guard<std::mutex> guard(g_IdentityMutex);
            olderSerialForm = g_HWInfo[0] != '\0' && std::strchr(g_HWInfo, '-') == nullptr;
        }
        if (!olderSerialForm) {
            g_RangeV4Ch2Off = 5.0;
            g_RangeV4Ch2On = 5.0;
        }
    }
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
