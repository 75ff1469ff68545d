#pragma once

#include "core/InstrumentFacts.h"

#include <cstddef>

// The instrument's 64-byte information block and the identity derived from it.

constexpr int kDeviceHWInfoSize = 64;

// Last complete block received from the instrument (zeros before the first link). Written and read
// under g_APICriticalSection.
extern unsigned char g_DeviceHWInfo[kDeviceHWInfoSize];
// g_DeviceHWInfo came complete from the instrument on the current link; cleared at link-down. Without it
// nothing is written back to the instrument's identity store. Under g_APICriticalSection.
extern bool g_bDeviceHWInfoValid;
// The identity texts, the model and g_AboveFWVer5_5 (core/InstrumentFacts.h) are set from the block.

// What one information block says; filled by DeriveDeviceIdentity.
struct DeviceIdentity {
    char hwInfo[kIdentityTextSize];
    char fwVer[kIdentityTextSize];
    char hwVer[kIdentityTextSize];
    bool newerForm;     // serial number in the newer form (byte 10 >= 17)
    bool is300R;        // enhanced model; meaningful in the newer form only
    bool aboveFWVer5_5; // (major * 16) | minor above 0x54
};

// Derives serial, versions and model from a block. False (and *out untouched) when the block does not
// carry the "EE" serial letters at bytes 6 and 7.
bool DeriveDeviceIdentity(const unsigned char (&block)[kDeviceHWInfoSize], DeviceIdentity* out);

// Keeps, in order, the letters, digits and '-' of a serial reply; the result is always terminated.
void FilterSerialText(const unsigned char* reply, int length, char (&out)[kIdentityTextSize]);

// Queries the information block and rebuilds the derived identity, g_AboveFWVer5_5 included (true or
// false from each complete block). 1 on success (also when the reply was short: the derived values then
// stay as they were and g_AboveFWVer5_5 becomes false), 0 when the query could not be written or the block
// does not identify the instrument. Caller holds g_APICriticalSection with polling paused (or the poll
// thread not running).
int UpdateDeviceInformation();

// Empties the identity texts and the port name, and forgets the block's validity for the link.
void ClearDeviceIdentity();
