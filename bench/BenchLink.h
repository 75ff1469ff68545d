// Linking the library to a virtual instrument served in a folder, for the benchmarks that measure a session.
#pragma once

#include "qolt_api.h"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>

namespace benchlink {

inline std::mutex g_linkMutex;
inline std::condition_variable g_linkChanged;
inline bool g_linked = false;

inline void OnLink(bool connected) {
    std::lock_guard<std::mutex> lock(g_linkMutex);
    g_linked = connected;
    g_linkChanged.notify_all();
}

// Points the library at the instrument's folder, starts the session and waits up to 10 s for the link.
// False (session closed again) when it does not come.
inline bool LinkTo(const std::string& dir) {
    {
        std::lock_guard<std::mutex> lock(g_linkMutex);
        g_linked = false; // a link of an earlier session does not count
    }
    SetDeviceNodeFormat((dir + "/ttyACM%d").c_str());
    SetLockDirectory(dir.c_str());
    Init(OnLink);
    std::unique_lock<std::mutex> lock(g_linkMutex);
    if (!g_linkChanged.wait_for(lock, std::chrono::seconds(10), [] { return g_linked; })) {
        lock.unlock();
        Close();
        return false;
    }
    return true;
}

} // namespace benchlink
