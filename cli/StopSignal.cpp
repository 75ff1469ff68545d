#include "StopSignal.h"

#include <csignal>
#include <pthread.h>
#include <unistd.h>

namespace qoltcli {

namespace {

// SIGUSR2 is ours: it tells the waiting thread to end.
sigset_t WaitedSignals() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    sigaddset(&set, SIGHUP);
    sigaddset(&set, SIGUSR2);
    return set;
}

} // namespace

bool StopSignal::Start() {
    sigset_t set = WaitedSignals();
    if (pthread_sigmask(SIG_BLOCK, &set, nullptr) != 0) {
        return false;
    }
    try {
        thread_ = std::thread([this] { Run(); });
    } catch (...) {
        return false;
    }
    std::lock_guard<std::mutex> lock(mu_);
    running_ = true;
    return true;
}

void StopSignal::Run() {
    const sigset_t set = WaitedSignals();
    for (;;) {
        int sig = 0;
        if (sigwait(&set, &sig) != 0) {
            continue;
        }
        if (sig == SIGUSR2) {
            return;
        }
        std::lock_guard<std::mutex> lock(mu_);
        if (signal_ != 0) {
            // Asked twice: stop now, as the signal would have without us.
            _exit(128 + sig);
        }
        signal_ = sig;
        cv_.notify_all();
    }
}

void StopSignal::Stop() {
    {
        std::lock_guard<std::mutex> lock(mu_);
        if (!running_) {
            return;
        }
        running_ = false;
    }
    pthread_kill(thread_.native_handle(), SIGUSR2);
    thread_.join();
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
