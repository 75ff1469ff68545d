#include "StopSignal.h"

#include <windows.h>

#include <atomic>
#include <csignal>

namespace qoltcli {

namespace {

// The console's control events (Ctrl-C, Ctrl-Break, closing the window) come on a thread the system
// makes for them; the handler only records the request and wakes the waiters.
std::atomic<StopSignal*> g_listener{nullptr};
std::atomic<int> g_count{0};
void (*g_notify)(StopSignal*, int) = nullptr;

BOOL WINAPI OnControl(DWORD event) {
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT && event != CTRL_CLOSE_EVENT) {
        return FALSE;
    }
    // Asked twice: the default handling ends the process at once.
    if (g_count.fetch_add(1) >= 1) {
        return FALSE;
    }
    StopSignal* listener = g_listener;
    if (listener != nullptr && g_notify != nullptr) {
        g_notify(listener, event == CTRL_C_EVENT ? SIGINT : SIGTERM);
    }
    return TRUE;
}

} // namespace

bool StopSignal::Start() {
    g_notify = [](StopSignal* self, int sig) {
        std::lock_guard<std::mutex> lock(self->mu_);
        self->signal_ = sig;
        self->cv_.notify_all();
    };
    g_listener = this;
    if (!SetConsoleCtrlHandler(OnControl, TRUE)) {
        g_listener = nullptr;
        return false;
    }
    std::lock_guard<std::mutex> lock(mu_);
    running_ = true;
    return true;
}

void StopSignal::Run() {}

void StopSignal::Stop() {
    {
        std::lock_guard<std::mutex> lock(mu_);
        if (!running_) {
            return;
        }
        running_ = false;
    }
    SetConsoleCtrlHandler(OnControl, FALSE);
    g_listener = nullptr;
}

bool StopSignal::Requested() const {
    std::lock_guard<std::mutex> lock(mu_);
    return signal_ != 0;
}

int StopSignal::Signal() const {
    std::lock_guard<std::mutex> lock(mu_);
    return signal_;
}

bool StopSignal::WaitFor(std::chrono::milliseconds timeout) const {
    std::unique_lock<std::mutex> lock(mu_);
    return cv_.wait_for(lock, timeout, [this] { return signal_ != 0; });
}

} // namespace qoltcli
