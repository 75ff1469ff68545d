#include "device/Platform.h"

#include "device/DeviceState.h"
#include "sync/Threads.h"

#include <poll.h>

#include <chrono>
#include <climits>

bool _WaitCOMPortReadable(unsigned milliseconds) {
    const long handle = g_hDevice;
    if (handle < 0 || handle > INT_MAX) {
        SleepEx(milliseconds);
        return false;
    }
    const auto start = std::chrono::steady_clock::now();
    pollfd watched{};
    watched.fd = static_cast<int>(handle);
    watched.events = POLLIN;
    const int timeout = milliseconds > INT_MAX ? INT_MAX : static_cast<int>(milliseconds);
    const int ready = poll(&watched, 1, timeout);
    if (ready > 0 && (watched.revents & POLLIN) != 0) {
        return true;
    }
    if (ready != 0) {
        // A hung-up or closed port reports at once and keeps doing so: sleep out the rest instead.
        const auto spent =
            std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
        if (spent.count() < static_cast<long long>(milliseconds)) {
            SleepEx(milliseconds - static_cast<unsigned>(spent.count()));
        }
    }
    return false;
}
