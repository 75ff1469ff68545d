#include "sim/TempDir.h"

#include <windows.h>

#include <atomic>
#include <string>

namespace qoltsim {

namespace {

std::atomic<unsigned> g_serial{0};

void RemoveTree(const std::string& dir) {
    WIN32_FIND_DATAA entry;
    HANDLE found = FindFirstFileA((dir + "\\*").c_str(), &entry);
    if (found != INVALID_HANDLE_VALUE) {
        do {
            const std::string name = entry.cFileName;
            if (name == "." || name == "..") {
                continue;
            }
            const std::string path = dir + "\\" + name;
            // A link to a folder is removed as the link, never followed.
            if ((entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 &&
                (entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) {
                RemoveTree(path);
            } else if ((entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
                RemoveDirectoryA(path.c_str());
            } else {
                DeleteFileA(path.c_str());
            }
        } while (FindNextFileA(found, &entry));
        FindClose(found);
    }
    RemoveDirectoryA(dir.c_str());
}

} // namespace

// A folder under the temporary folder that did not exist before: CreateDirectory fails on one that does.
TempDir::TempDir(const std::string& prefix) {
    char temp[MAX_PATH + 1];
    const DWORD length = GetTempPathA(sizeof temp, temp);
    if (length == 0 || length > MAX_PATH) {
        return;
    }
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string path = std::string(temp) + prefix + "-" + std::to_string(GetCurrentProcessId()) +
                                 "-" + std::to_string(g_serial.fetch_add(1)) + "-" +
                                 std::to_string(GetTickCount64());
        if (CreateDirectoryA(path.c_str(), nullptr)) {
            path_ = path;
            return;
        }
        if (GetLastError() != ERROR_ALREADY_EXISTS) {
            return;
        }
    }
}

TempDir::~TempDir() {
    if (!path_.empty()) {
        RemoveTree(path_);
    }
}

} // namespace qoltsim
