// A listing of USB device interfaces from a table, installed in place of SetupAPI for the test's duration.
#pragma once

#include "device/windows/UsbInterfaces.h"

#include <cwchar>
#include <mutex>
#include <string>
#include <vector>

namespace wintest {

struct TableRow {
    std::wstring path;
    std::wstring friendlyName;
    UsbEnumStep step = UsbEnumStep::Entry; // Skip: this index cannot be read
};

class CUsbTableSource final : public CUsbInterfaceSource {
public:
    CUsbTableSource() { SetUsbInterfaceSource(this); }
    ~CUsbTableSource() { SetUsbInterfaceSource(nullptr); }
    CUsbTableSource(const CUsbTableSource&) = delete;
    CUsbTableSource& operator=(const CUsbTableSource&) = delete;

    // The connection thread lists while a test changes the rows: every access goes through the lock.
    void SetRows(std::vector<TableRow> rows) {
        std::lock_guard<std::mutex> guard(m_lock);
        m_rows = std::move(rows);
    }
    void Add(TableRow row) {
        std::lock_guard<std::mutex> guard(m_lock);
        m_rows.push_back(std::move(row));
    }
    // Removes and returns the last row.
    TableRow RemoveLast() {
        std::lock_guard<std::mutex> guard(m_lock);
        TableRow row = m_rows.back();
        m_rows.pop_back();
        return row;
    }

    bool refuseOpen = false;
    int opens = 0;
    int closes = 0;
    unsigned highestIndexAsked = 0;

    bool Open() override {
        ++opens;
        return !refuseOpen;
    }
    UsbEnumStep Next(unsigned index, UsbInterfaceEntry& entry) override {
        std::lock_guard<std::mutex> guard(m_lock);
        highestIndexAsked = index > highestIndexAsked ? index : highestIndexAsked;
        if (index >= m_rows.size()) {
            return UsbEnumStep::End;
        }
        const TableRow& row = m_rows[index];
        if (row.step != UsbEnumStep::Entry) {
            return row.step;
        }
        std::swprintf(entry.path, kInterfacePathCapacity, L"%ls", row.path.c_str());
        std::swprintf(entry.friendlyName, kFriendlyNameCapacity, L"%ls", row.friendlyName.c_str());
        return UsbEnumStep::Entry;
    }
    void Close() override { ++closes; }

private:
    std::mutex m_lock;
    std::vector<TableRow> m_rows;
};

// An instrument interface path as the system spells it, for a made-up instance.
inline std::wstring InstrumentPath(const wchar_t* instance) {
    return std::wstring(L"\\\\?\\usb#vid_04d8&pid_000a#") + instance +
           L"#{a5dcbf10-6530-11d2-901f-00c04fb951ed}";
}

} // namespace wintest
