#pragma once

#include <atomic>
#include <mutex>

// What the library knows about the connected instrument: its identity texts, its model and its
// firmware facts. Every layer may read these; they change only through the functions below.
//
// Lock rule: each change is made with g_APICriticalSection held (the identification, the information
// query, a version report read by a poll step, the port's close). The identity texts are also guarded by
// g_IdentityMutex, a leaf lock (nothing is taken while it is held), so queries copy them whole without the
// session lock. Values that lock-free getters or the packet builder read are atomic.

constexpr int kIdentityTextSize = 40; // room for the longest derived text and the 36-byte serial reply
constexpr int kPortNameSize = 512;

// --- Identity ------------------------------------------------------------------------------------------

// Identity texts of the connected instrument; empty while none is known. Read them under g_IdentityMutex.
extern std::mutex& g_IdentityMutex;
extern char g_SerialNo[kIdentityTextSize]; // from the serial reply of the identification
extern char g_HWInfo[kIdentityTextSize];   // the serial number the information block gives
extern char g_FWVer[kIdentityTextSize];
extern char g_HWVer[kIdentityTextSize];
// Name of the connected port as passed to the identification (the device path on POSIX).
extern char g_COMString[kPortNameSize];

void _SetSerialText(const char (&serial)[kIdentityTextSize]);
void _SetPortName(const char* name);
void _SetBlockIdentity(const char (&hwInfo)[kIdentityTextSize], const char (&fwVer)[kIdentityTextSize],
                       const char (&hwVer)[kIdentityTextSize]);
// Empties the identity texts and the port name.
void _ClearIdentityTexts();

// --- Model ---------------------------------------------------------------------------------------------

// The connected instrument is the enhanced model (from its information block); cleared on close.
extern std::atomic<bool> s_bIs300R;
// Its firmware is 5.5 or later (from its information block); selects the ramp step of the input
// dynamic-range staircase.
extern std::atomic<bool> g_AboveFWVer5_5;

void _SetModelIs300R(bool is300R);
void _SetAboveFWVer5_5(bool above);

// --- Firmware facts ------------------------------------------------------------------------------------

// Firmware generation flag and 7-digit firmware number from the instrument's version report, and the
// full-scale values of the two output ranges (second DAC channel off / on) that the report selects.
// The report comes unasked and may not come again when the same unit is plugged back, so the facts
// outlive a link, but they belong to the unit that reported them: another unit starts from the load-time
// values.
extern std::atomic<int> g_bVersion4;
extern std::atomic<int> g_nVersionNumber;
extern double g_RangeV4Ch2Off;
extern double g_RangeV4Ch2On;
constexpr double kRangeV4Ch2OffAtLoad = 5.0;
constexpr double kRangeV4Ch2OnAtLoad = 4.0;

// A version report: "4" and six more digits (`digits` holds the seven). Sets the facts and keeps them as
// the linked unit's.
void _RecordVersionReport(const char* digits);

// A link comes up (the unit is identified): the facts its own report set, when it is the unit that gave
// the last one, the load-time values otherwise.
void _FirmwareFactsForLinkedUnit();
