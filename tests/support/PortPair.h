// A pseudo-terminal standing for a serial port, opened from the host's side as the library opens a port
// (non-blocking), with the instrument's end read back by the test.
#pragma once

#include "sim/PseudoTerminal.h"
#include "sim/TempDir.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace porttest {

using Bytes = std::vector<std::uint8_t>;

class PortPair {
public:
    // Links `<directory>/<name>` to a new pair.
    bool Open(const std::string& directory, const std::string& name) {
        std::string error;
        if (!m_pty.Open(directory + "/" + name, error)) {
            ADD_FAILURE() << error;
            return false;
        }
        return true;
    }
    // The host's end, opened as a port is opened; owned by the caller.
    int OpenPort() const {
        return open(m_pty.LinkPath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    }
    const std::string& Path() const { return m_pty.LinkPath(); }
    int Instrument() const { return m_pty.Master(); }
    // The instrument goes: the host's end hangs up.
    void Unplug() { m_pty.Close(); }

    // What reaches the instrument: reads until `want` bytes came or the time ran out, then anything that
    // follows within `linger`.
    Bytes Receive(std::size_t want, std::chrono::milliseconds timeout,
                  std::chrono::milliseconds linger = std::chrono::milliseconds(100)) const {
        Bytes got;
        const auto giveUp = std::chrono::steady_clock::now() + timeout;
        while (got.size() < want && std::chrono::steady_clock::now() < giveUp) {
            Pump(got, 10);
        }
        const auto lingerEnd = std::chrono::steady_clock::now() + linger;
        while (std::chrono::steady_clock::now() < lingerEnd) {
            Pump(got, 10);
        }
        return got;
    }

    // Fills the host-to-instrument direction until the port takes not one byte more. The system moves
    // what was written on to the other end a little later, making room again: filled means a round after
    // a pause that takes nothing.
    static void Fill(int port) {
        const std::vector<std::uint8_t> chunk(4096, 0x5A);
        for (int round = 0; round < 100; ++round) {
            bool took = false;
            for (std::size_t size = chunk.size(); size > 0; size /= 2) {
                while (write(port, chunk.data(), size) > 0) {
                    took = true;
                }
            }
            if (!took && round > 0) {
                return;
            }
            usleep(50000);
        }
        ADD_FAILURE() << "the port never filled up";
    }

private:
    void Pump(Bytes& got, int waitMs) const {
        pollfd p{m_pty.Master(), POLLIN, 0};
        if (poll(&p, 1, waitMs) > 0 && (p.revents & POLLIN) != 0) {
            std::uint8_t buffer[4096];
            const ssize_t n = read(m_pty.Master(), buffer, sizeof buffer);
            if (n > 0) {
                got.insert(got.end(), buffer, buffer + n);
            }
        }
    }

    qoltsim::PseudoTerminal m_pty;
};

// Bytes 0, 1, 2, ... of the given count.
inline Bytes Counting(std::size_t count) {
    Bytes bytes(count);
    for (std::size_t i = 0; i < count; ++i) {
        bytes[i] = static_cast<std::uint8_t>(i * 7 + 1);
    }
    return bytes;
}

} // namespace porttest
