#pragma once

// The instrument's USB device interfaces as the system lists them, behind a seam: the SetupAPI listing in
// production, a table in tests (no USB devices under test). The filter, the COM number and the index loop
// work on whatever the source lists.

#include <cstddef>

// Room for an interface path and a friendly name, terminators included (the friendly name is read with at
// most 600 bytes, as the registry property is sized).
constexpr std::size_t kInterfacePathCapacity = 512;
constexpr std::size_t kFriendlyNameCapacity = 300;

// COM numbers the system hands out (the port database's range); anything else is refused.
constexpr int kMinComNumber = 1;
constexpr int kMaxComNumber = 4096;

struct UsbInterfaceEntry {
    wchar_t path[kInterfacePathCapacity];
    wchar_t friendlyName[kFriendlyNameCapacity];
};

enum class UsbEnumStep {
    Entry, // the entry is filled
    Skip,  // this index could not be read; the next may
    End,   // no entry at this index or later
};

// One listing of the present interfaces: Open, Next for index 0 upwards until End, Close.
class CUsbInterfaceSource {
public:
    virtual bool Open() = 0;
    virtual UsbEnumStep Next(unsigned index, UsbInterfaceEntry& entry) = 0;
    virtual void Close() = 0;

protected:
    CUsbInterfaceSource() = default;
    ~CUsbInterfaceSource() = default;
};

// The source discovery and the presence test use: SetupAPI unless a test installed another. Null restores
// SetupAPI. Not for use while a search or presence test runs.
void SetUsbInterfaceSource(CUsbInterfaceSource* source);
CUsbInterfaceSource& UsbInterfaceSource();

// The COM number of a friendly name that ends its port in "(COMn)", as in "USB Serial Device (COM7)";
// -1 without one, or for a number outside kMinComNumber..kMaxComNumber.
int ComNumberFromFriendlyName(const wchar_t* friendlyName);

// The interface belongs to the instrument: its path names the instrument's vendor and product
// ("vid_04d8&pid_000a", in either case).
bool IsInstrumentInterface(const wchar_t* path);

// The COM numbers of the instrument's interfaces in listing order, at most `capacity`; interfaces without
// a COM number are skipped. Returns the count written; 0 when the listing cannot be opened.
int ListInstrumentComNumbers(CUsbInterfaceSource& source, int* ports, int capacity);

// Copies the path of the instrument's interface with COM number `com` (the first listed); false when there
// is none or the path does not fit.
bool FindInstrumentInterface(CUsbInterfaceSource& source, int com, wchar_t* path, std::size_t capacity);

// An instrument interface with exactly this path is listed.
bool IsInterfaceListed(CUsbInterfaceSource& source, const wchar_t* path);
