// Ctrl-C (SIGINT), SIGTERM and SIGHUP as a request to stop, so that the tools end through Close and write
// their captures. Start installs a handler that only passes the signal to a waiting thread of its own, and
// blocks the signals in the calling thread, so that threads made later (the library's session threads)
// are not interrupted by them. A second signal ends the process at once.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace qoltcli {

class StopSignal {
public:
    StopSignal() = default;
    ~StopSignal() { Stop(); }
    StopSignal(const StopSignal&) = delete;
    StopSignal& operator=(const StopSignal&) = delete;

    bool Start();
    void Stop();

    bool Requested() const;
    int Signal() const; // the signal that asked, 0 when none
    // Waits up to `timeout`; true when a stop was asked.
    bool WaitFor(std::chrono::milliseconds timeout) const;

private:
    void Run();
    mutable std::mutex mu_;
    mutable std::condition_variable cv_;
    int signal_ = 0;
    bool running_ = false;
    std::thread thread_;
};

} // namespace qoltcli
