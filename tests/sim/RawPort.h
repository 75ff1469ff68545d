// A bare client of the virtual instrument's node, opened and configured the way a host opens a CDC-ACM
// port, with no library code in between.
#pragma once

#include <chrono>
#include <cstdint>
#include <fcntl.h>
#include <poll.h>
#include <string>
#include <termios.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace rawport {

using Bytes = std::vector<uint8_t>;
using std::chrono::milliseconds;

inline Bytes B(std::initializer_list<int> values) {
    Bytes b;
    for (int v : values) {
        b.push_back(static_cast<uint8_t>(v));
    }
    return b;
}
inline Bytes B(const std::string& text) {
    return Bytes(text.begin(), text.end());
}

class RawPort {
public:
    explicit RawPort(const std::string& path) {
        fd_ = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (fd_ >= 0) {
            termios tio;
            if (tcgetattr(fd_, &tio) == 0) {
                tio.c_iflag |= IGNPAR;
                tio.c_iflag &= ~static_cast<tcflag_t>(ICRNL | IXON);
                tio.c_oflag &= ~static_cast<tcflag_t>(OPOST | ONLCR);
                tio.c_cflag &= ~static_cast<tcflag_t>(CLOCAL);
                tio.c_lflag = 0;
                cfsetospeed(&tio, B115200);
                tcsetattr(fd_, TCSANOW, &tio);
            }
        }
    }
    ~RawPort() { Close(); }
    RawPort(const RawPort&) = delete;
    RawPort& operator=(const RawPort&) = delete;

    bool IsOpen() const { return fd_ >= 0; }
    int Fd() const { return fd_; }
    void Close() {
        if (fd_ >= 0) {
            close(fd_);
            fd_ = -1;
        }
    }

    // Writes everything (waiting for room); false on an error.
    bool Write(const Bytes& bytes) {
        size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t n = write(fd_, bytes.data() + done, bytes.size() - done);
            if (n > 0) {
                done += static_cast<size_t>(n);
                continue;
            }
            if (n < 0 && errno != EAGAIN && errno != EINTR) {
                return false;
            }
            pollfd p{fd_, POLLOUT, 0};
            if (poll(&p, 1, 2000) <= 0) {
                return false;
            }
        }
        return true;
    }

    // Reads until `count` bytes came or the time-out passed; returns what came.
    Bytes Read(size_t count, milliseconds timeout = milliseconds(2000)) {
        Bytes got;
        const auto end = std::chrono::steady_clock::now() + timeout;
        while (got.size() < count) {
            const auto left =
                std::chrono::duration_cast<milliseconds>(end - std::chrono::steady_clock::now()).count();
            if (left <= 0) {
                break;
            }
            pollfd p{fd_, POLLIN, 0};
            if (poll(&p, 1, static_cast<int>(left)) <= 0) {
                break;
            }
            uint8_t buf[4096];
            const ssize_t n = read(fd_, buf, std::min(sizeof buf, count - got.size()));
            if (n > 0) {
                got.insert(got.end(), buf, buf + n);
            } else if (n == 0 || (errno != EAGAIN && errno != EINTR)) {
                break;
            }
        }
        return got;
    }

    // Everything that arrives within `window` (used to show that nothing more came).
    Bytes ReadAll(milliseconds window) { return Read(1 << 20, window); }

    // One exchange: write, then read the expected count.
    Bytes Ask(const Bytes& query, size_t replyLength, milliseconds timeout = milliseconds(2000)) {
        if (!Write(query)) {
            return {};
        }
        return Read(replyLength, timeout);
    }

private:
    int fd_ = -1;
};

} // namespace rawport
