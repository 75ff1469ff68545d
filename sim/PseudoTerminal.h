// One pseudo-terminal pair standing for one plugged-in instrument: the master is the instrument's end, the
// slave is the host's port, reached through a symbolic link named like a CDC-ACM node.
#pragma once

#include <string>

namespace qoltsim {

class PseudoTerminal {
public:
    PseudoTerminal() = default;
    ~PseudoTerminal() { Close(); }
    PseudoTerminal(const PseudoTerminal&) = delete;
    PseudoTerminal& operator=(const PseudoTerminal&) = delete;

    // Opens a raw, non-blocking pair and links `linkPath` to the slave. On failure everything is undone
    // and `error` says why.
    bool Open(const std::string& linkPath, std::string& error);
    // Removes the link, then closes both ends: the host's descriptor on the slave hangs up.
    void Close();

    bool IsOpen() const { return master_ >= 0; }
    int Master() const { return master_; }
    const std::string& SlavePath() const { return slavePath_; }
    const std::string& LinkPath() const { return linkPath_; }

private:
    int master_ = -1;
    // Held open for the pair's lifetime: when the host closes its last descriptor on the slave, the master
    // would otherwise report a hang-up (POLLHUP, EIO) until the slave is opened again, and the instrument
    // could then only poll blindly and answer late. With it, the master only ever sees the host's bytes.
    int slaveHold_ = -1;
    std::string slavePath_;
    std::string linkPath_;
};

} // namespace qoltsim
