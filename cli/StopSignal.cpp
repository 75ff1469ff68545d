#include "StopSignal.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <unistd.h>

namespace qoltcli {

namespace {

// The handler only writes the signal number to a pipe (async-signal-safe); the waiting thread reads it.
int g_pipe[2] = {-1, -1};
std::atomic<int> g_count{0};

const int kSignals[] = {SIGINT, SIGTERM, SIGHUP};

void OnSignal(int sig) {
    if (g_count.fetch_add(1) >= 1) {
        // Asked twice: stop now, as the signal would have without us.
        signal(sig, SIG_DFL);
        raise(sig);
        return;
    }
    const int saved = errno;
    const unsigned char byte = static_cast<unsigned char>(sig);
    (void)!write(g_pipe[1], &byte, 1);
    errno = saved;
}

} // namespace

bool StopSignal::Start() {
    if (pipe2(g_pipe, O_CLOEXEC) != 0) {
        return false;
    }
    // The library may have threads of its own already (started when it was loaded): a handler, not a
    // blocked mask, is what catches the signal whichever thread it lands on. Threads made from here on
    // inherit the mask, so only those older threads ever run the handler.
    struct sigaction action {};
    action.sa_handler = OnSignal;
    action.sa_flags = SA_RESTART;
    sigemptyset(&action.sa_mask);
    sigset_t set;
    sigemptyset(&set);
    for (int sig : kSignals) {
        sigaction(sig, &action, nullptr);
        sigaddset(&set, sig);
    }
    try {
        thread_ = std::thread([this] { Run(); });
    } catch (...) {
        return false;
    }
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
    std::lock_guard<std::mutex> lock(mu_);
    running_ = true;
    return true;
}

void StopSignal::Run() {
    // This thread keeps the signals unblocked, so that it is the one that takes them when it can.
    for (;;) {
        // Woken now and then: a runtime that defers handlers to the next call it intercepts (ThreadSanitizer)
        // would otherwise hold the signal while this thread's restarted read never returns.
        pollfd readable{g_pipe[0], POLLIN, 0};
        if (poll(&readable, 1, 200) <= 0) {
            continue;
        }
        unsigned char byte = 0;
        const ssize_t n = read(g_pipe[0], &byte, 1);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n != 1 || byte == 0) {
            return; // Stop wrote 0, or the pipe broke
        }
        std::lock_guard<std::mutex> lock(mu_);
        signal_ = byte;
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
    const unsigned char zero = 0;
    (void)!write(g_pipe[1], &zero, 1);
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
