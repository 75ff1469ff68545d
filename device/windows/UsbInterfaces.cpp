#include "device/windows/UsbInterfaces.h"

#include <windows.h>

#include <setupapi.h>

#include <atomic>
#include <cwchar>
#include <cwctype>

namespace {

// GUID_DEVINTERFACE_USB_DEVICE, spelled out so no unit needs initguid.h for it.
constexpr GUID kUsbDeviceInterface = {
    0xA5DCBF10, 0x6530, 0x11D2, {0x90, 0x1F, 0x00, 0xC0, 0x4F, 0xB9, 0x51, 0xED}};

// A listing that never ends (a broken source) must not hold the connection thread.
constexpr unsigned kMaxInterfaces = 4096;

constexpr wchar_t kInstrumentIds[] = L"vid_04d8&pid_000a";

// The SetupAPI listing of present USB device interfaces.
class CSetupApiInterfaces final : public CUsbInterfaceSource {
public:
    bool Open() override {
        m_set = SetupDiGetClassDevsW(&kUsbDeviceInterface, nullptr, nullptr,
                                     DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
        return m_set != INVALID_HANDLE_VALUE;
    }

    UsbEnumStep Next(unsigned index, UsbInterfaceEntry& entry) override {
        if (m_set == INVALID_HANDLE_VALUE) {
            return UsbEnumStep::End;
        }
        SP_DEVICE_INTERFACE_DATA item{};
        item.cbSize = sizeof item;
        if (!SetupDiEnumDeviceInterfaces(m_set, nullptr, &kUsbDeviceInterface, index, &item)) {
            return GetLastError() == ERROR_NO_MORE_ITEMS ? UsbEnumStep::End : UsbEnumStep::Skip;
        }
        // The size first; a path longer than the entry's room is no path this library can keep.
        DWORD required = 0;
        if (SetupDiGetDeviceInterfaceDetailW(m_set, &item, nullptr, 0, &required, nullptr) ||
            GetLastError() != ERROR_INSUFFICIENT_BUFFER ||
            required < sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W) || required > sizeof m_detail) {
            return UsbEnumStep::Skip;
        }
        auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_W*>(m_detail);
        detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W);
        SP_DEVINFO_DATA device{};
        device.cbSize = sizeof device;
        if (!SetupDiGetDeviceInterfaceDetailW(m_set, &item, detail, required, nullptr, &device)) {
            return UsbEnumStep::Skip;
        }
        const std::size_t pathChars =
            (required - offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_W, DevicePath)) / sizeof(wchar_t);
        const std::size_t length = wcsnlen(detail->DevicePath, pathChars);
        if (length == 0 || length >= kInterfacePathCapacity) {
            return UsbEnumStep::Skip;
        }
        wmemcpy(entry.path, detail->DevicePath, length);
        entry.path[length] = L'\0';

        // A device without a friendly name still lists; it has no COM number.
        entry.friendlyName[0] = L'\0';
        DWORD type = 0;
        DWORD size = 0;
        if (SetupDiGetDeviceRegistryPropertyW(m_set, &device, SPDRP_FRIENDLYNAME, &type,
                                              reinterpret_cast<BYTE*>(entry.friendlyName),
                                              sizeof entry.friendlyName - sizeof(wchar_t), &size) &&
            type == REG_SZ) {
            const std::size_t chars = size / sizeof(wchar_t);
            entry.friendlyName[chars < kFriendlyNameCapacity ? chars : kFriendlyNameCapacity - 1] = L'\0';
        } else {
            entry.friendlyName[0] = L'\0';
        }
        return UsbEnumStep::Entry;
    }

    void Close() override {
        if (m_set != INVALID_HANDLE_VALUE) {
            SetupDiDestroyDeviceInfoList(m_set);
            m_set = INVALID_HANDLE_VALUE;
        }
    }

private:
    HDEVINFO m_set = INVALID_HANDLE_VALUE;
    // The detail record: its size field and a path of kInterfacePathCapacity characters.
    alignas(
        SP_DEVICE_INTERFACE_DETAIL_DATA_W) unsigned char m_detail[sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W) +
                                                                  kInterfacePathCapacity * sizeof(wchar_t)];
};

CSetupApiInterfaces s_SetupApi;
std::atomic<CUsbInterfaceSource*> s_Source{nullptr};

// Opens the source for one listing and closes it at the end of the scope.
class CListing {
public:
    explicit CListing(CUsbInterfaceSource& source) : m_source(source), m_open(source.Open()) {}
    ~CListing() { m_source.Close(); }
    CListing(const CListing&) = delete;
    CListing& operator=(const CListing&) = delete;
    bool Open() const { return m_open; }

    // Calls visit(entry, com) for each instrument interface in order until it returns true; true then.
    template <class Visit> bool Each(Visit visit) {
        if (!m_open) {
            return false;
        }
        UsbInterfaceEntry entry;
        for (unsigned index = 0; index < kMaxInterfaces; ++index) {
            const UsbEnumStep step = m_source.Next(index, entry);
            if (step == UsbEnumStep::End) {
                break;
            }
            if (step != UsbEnumStep::Entry) {
                continue;
            }
            entry.path[kInterfacePathCapacity - 1] = L'\0';
            entry.friendlyName[kFriendlyNameCapacity - 1] = L'\0';
            if (IsInstrumentInterface(entry.path) &&
                visit(entry, ComNumberFromFriendlyName(entry.friendlyName))) {
                return true;
            }
        }
        return false;
    }

private:
    CUsbInterfaceSource& m_source;
    bool m_open;
};

} // namespace

void SetUsbInterfaceSource(CUsbInterfaceSource* source) {
    s_Source = source;
}

CUsbInterfaceSource& UsbInterfaceSource() {
    CUsbInterfaceSource* installed = s_Source;
    return installed != nullptr ? *installed : s_SetupApi;
}

int ComNumberFromFriendlyName(const wchar_t* friendlyName) {
    if (friendlyName == nullptr) {
        return -1;
    }
    // The last "(COM": a device's own name may hold the letters before the port does.
    const wchar_t* found = nullptr;
    for (const wchar_t* p = std::wcsstr(friendlyName, L"(COM"); p != nullptr;
         p = std::wcsstr(p + 1, L"(COM")) {
        found = p;
    }
    if (found == nullptr) {
        return -1;
    }
    const wchar_t* digit = found + 4;
    long number = 0;
    int digits = 0;
    for (; *digit >= L'0' && *digit <= L'9'; ++digit) {
        // Past five digits the number is out of range whatever follows.
        if (++digits > 5) {
            return -1;
        }
        number = number * 10 + (*digit - L'0');
    }
    if (digits == 0 || *digit != L')' || number < kMinComNumber || number > kMaxComNumber) {
        return -1;
    }
    return static_cast<int>(number);
}

bool IsInstrumentInterface(const wchar_t* path) {
    if (path == nullptr) {
        return false;
    }
    const std::size_t idLength = sizeof kInstrumentIds / sizeof kInstrumentIds[0] - 1;
    for (const wchar_t* p = path; *p != L'\0'; ++p) {
        std::size_t i = 0;
        while (i < idLength && p[i] != L'\0' && std::towlower(p[i]) == kInstrumentIds[i]) {
            ++i;
        }
        if (i == idLength) {
            return true;
        }
    }
    return false;
}

int ListInstrumentComNumbers(CUsbInterfaceSource& source, int* ports, int capacity) {
    if (ports == nullptr || capacity <= 0) {
        return 0;
    }
    CListing listing(source);
    int count = 0;
    listing.Each([&](const UsbInterfaceEntry&, int com) {
        if (com != -1) {
            ports[count++] = com;
        }
        return count == capacity;
    });
    return count;
}

bool FindInstrumentInterface(CUsbInterfaceSource& source, int com, wchar_t* path, std::size_t capacity) {
    if (path == nullptr || capacity == 0 || com < kMinComNumber || com > kMaxComNumber) {
        return false;
    }
    CListing listing(source);
    bool fits = false;
    const bool found = listing.Each([&](const UsbInterfaceEntry& entry, int number) {
        if (number != com) {
            return false;
        }
        const std::size_t length = std::wcslen(entry.path);
        fits = length < capacity;
        if (fits) {
            wmemcpy(path, entry.path, length + 1);
        }
        return true;
    });
    return found && fits;
}

bool IsInterfaceListed(CUsbInterfaceSource& source, const wchar_t* path) {
    if (path == nullptr || path[0] == L'\0') {
        return false;
    }
    CListing listing(source);
    return listing.Each(
        [&](const UsbInterfaceEntry& entry, int) { return std::wcscmp(entry.path, path) == 0; });
}
