// The instrument the tool talks to: a real one found by the library, or the virtual instrument run in this
// process (`--virtual`) on a pseudo-terminal in a private directory, reached through the same calls.
#pragma once

#include "Options.h"
#include "PlugPlan.h"
#include "sim/Capture.h"
#include "sim/TempDir.h"
#include "sim/VirtualInstrument.h"

#include <chrono>
#include <memory>
#include <optional>
#include <string>

namespace qoltcli {

struct Identity {
    std::string port, serial, hardware, firmware, sdk;
    bool enhanced = false;
    bool versionReport = false;
    int converter = 0;
};

class Instrument {
public:
    explicit Instrument(const Options& options);
    ~Instrument();
    Instrument(const Instrument&) = delete;
    Instrument& operator=(const Instrument&) = delete;

    // Starts the virtual instrument when asked for and points the library at the nodes and lock directory.
    // An exit code other than kExitOk comes with `error`.
    int Prepare(std::string& error);
    // Connects to `port` (-1: any) within the time-out and keeps listening for loss and return.
    int Connect(int port, std::string& error);
    // Ends the session (the library restores its defaults and takes the link down). Idempotent.
    void Close();

    Identity ReadIdentity() const;

    // The device node of port n, and the nodes that exist now (for `list`).
    std::string NodePath(int port) const;
    std::vector<int> ExistingPorts() const;
    // Why the library's last connection attempt found nothing: one "NODE: REASON" line per port it tried
    // (GetConnectionReport), with the way out where a node cannot be opened.
    std::vector<std::string> ConnectionReport() const;

    bool IsVirtual() const { return virtual_ != nullptr; }
    qoltsim::VirtualInstrument* Virtual() { return virtual_.get(); }

    // Seconds of output so far: what the virtual instrument played (in real time it holds up to two packets
    // it has not played yet; with --fast what it received), else wall-clock time since the output started
    // (MarkOutputStart).
    void MarkOutputStart();
    double OutputSeconds();
    // Seconds of output the virtual instrument received (else as OutputSeconds).
    double ReceivedSeconds();
    // Virtual instrument: waits until it has received `seconds` of output or `timeout` passed.
    bool WaitForOutput(double seconds, std::chrono::milliseconds timeout);
    // Stops the virtual instrument's data requests, so that it receives nothing more (end of a run).
    void HoldVirtualRequests();
    // With --fast the virtual instrument asks for the next packet as soon as one arrives: the settings that
    // follow the output's start could miss every packet of a short run. These hold its requests from
    // before the output starts until all its settings are in (its first packet goes out unasked).
    void HoldFastRequests();
    void ReleaseFastRequests();
    // Unplugs and replugs the virtual instrument as the options ask; call it now and then.
    void Service();

    // What the virtual instrument played, laid out (empty for a real instrument).
    qoltsim::Capture TakeCapture(const std::vector<double>& pacingMarkers, std::optional<double> limit);

private:
    double ReceivedSeconds(const qoltsim::Recording& recording);

    const Options& options_;
    std::unique_ptr<qoltsim::TempDir> dir_;
    std::unique_ptr<qoltsim::VirtualInstrument> virtual_;
    std::string nodeFormat_ = "/dev/ttyACM%d";
    bool sessionStarted_ = false;
    std::chrono::steady_clock::time_point outputStart_{};
    bool outputStarted_ = false;
    size_t packetsSeen_ = 0;
    double packetSeconds_ = 0.0;
    PlugPlan plug_;
};

} // namespace qoltcli
