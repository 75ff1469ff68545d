#include "Instrument.h"

#include "ConnectionReportLines.h"
#include "ExitCodes.h"
#include "LibraryEvents.h"
#include "Refusal.h"
#include "qolt_api.h"

#include <algorithm>
#include <cstdio>
#include <sys/stat.h>
#include <unistd.h>

namespace qoltcli {

namespace {

std::string Seconds(double s) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", s);
    return text;
}

} // namespace

Instrument::Instrument(const Options& options)
    : options_(options), plug_(options.unplugAfterPackets, options.replugAfterMs) {}

Instrument::~Instrument() {
    Close();
    if (virtual_) {
        virtual_->Stop();
    }
}

int Instrument::Prepare(std::string& error) {
    if (options_.virtualInstrument) {
        dir_ = std::make_unique<qoltsim::TempDir>("qolt-virtual");
        if (!dir_->Valid()) {
            error = "cannot make a directory for the virtual instrument";
            return kExitVirtual;
        }
        qoltsim::Config config;
        config.directory = dir_->Path();
        config.node = options_.port.value_or(0);
        config.pacing = options_.fast ? qoltsim::Pacing::Fast : qoltsim::Pacing::RealTime;
        config.model = options_.enhancedModel ? qoltsim::Model::Enhanced : qoltsim::Model::Standard;
        if (options_.firmware) {
            config.firmwareMajor = static_cast<uint8_t>(options_.firmware->first);
            config.firmwareMinor = static_cast<uint8_t>(options_.firmware->second);
        }
        virtual_ = std::make_unique<qoltsim::VirtualInstrument>(config);
        if (!virtual_->Start()) {
            error = "the virtual instrument did not start: " + virtual_->LastError();
            return kExitVirtual;
        }
        // A '%' in the temporary folder's path must not read as a conversion.
        nodeFormat_.clear();
        for (char c : dir_->Path()) {
            nodeFormat_ += c == '%' ? std::string("%%") : std::string(1, c);
        }
        nodeFormat_ += "/ttyACM%d";
        if (SetDeviceNodeFormat(nodeFormat_.c_str()) != 0 || SetLockDirectory(dir_->Path().c_str()) != 0) {
            error = "the library does not take the virtual instrument's directory " + dir_->Path() +
                    " (too long? set TMPDIR to a shorter one)";
            return kExitVirtual;
        }
        return kExitOk;
    }
    if (options_.nodeFormat) {
        const int rc = SetDeviceNodeFormat(options_.nodeFormat->c_str());
        if (rc != 0) {
            error = Refusal{"--node-format", *options_.nodeFormat, "SetDeviceNodeFormat", rc,
                            "allowed a path format with exactly one %d and no other conversion"}
                        .Message();
            return kExitRefused;
        }
        nodeFormat_ = *options_.nodeFormat;
    }
    if (options_.lockDirectory) {
        const int rc = SetLockDirectory(options_.lockDirectory->c_str());
        if (rc != 0) {
            error = Refusal{"--lock-dir", *options_.lockDirectory, "SetLockDirectory", rc,
                            "allowed a directory whose lock-file paths stay below 128 bytes"}
                        .Message();
            return kExitRefused;
        }
    }
    return kExitOk;
}

int Instrument::Connect(int port, std::string& error) {
    const auto timeoutMs = static_cast<unsigned>(options_.timeoutSeconds * 1000.0 + 0.5);
    sessionStarted_ = true;
    if (!::Connect(port, timeoutMs)) {
        Close();
        error = "no instrument found within " + Seconds(options_.timeoutSeconds) + " s";
        if (port >= 0) {
            error += " on " + NodePath(port);
        }
        // Why, port by port, as the library saw it.
        for (const std::string& line : ConnectionReport()) {
            error += "\n  " + line;
        }
        return kExitNoInstrument;
    }
    // Connect's own listener only serves the wait; ours hears losses and returns from now on.
    Events().linked.store(true);
    Init(LibraryListener);
    SpecifyCOMPort(port);
    RegisterLibraryCallbacks();
    return kExitOk;
}

void Instrument::Close() {
    if (sessionStarted_) {
        const bool linked = IsConnected();
        ::Close();
        sessionStarted_ = false;
        // The virtual instrument parses on its own thread: let it take in the close before a capture is made.
        if (virtual_ && linked) {
            virtual_->WaitForCommand(qoltsim::MessageKind::Close, 1, std::chrono::milliseconds(1000));
        }
    }
}

Identity Instrument::ReadIdentity() const {
    Identity id;
    id.port = GetUSBPort();
    id.serial = GetSerialNumber();
    id.hardware = GetHWVersion();
    id.firmware = GetFWVersion();
    id.sdk = GetSDKVersion();
    id.enhanced = IsQOLT300R();
    id.versionReport = IsVersion4();
    id.converter = GetAD();
    return id;
}

std::string Instrument::NodePath(int port) const {
    std::string path;
    for (size_t i = 0; i < nodeFormat_.size(); ++i) {
        if (nodeFormat_[i] == '%' && i + 1 < nodeFormat_.size()) {
            if (nodeFormat_[i + 1] == 'd') {
                path += std::to_string(port);
                ++i;
                continue;
            }
            if (nodeFormat_[i + 1] == '%') {
                path += '%';
                ++i;
                continue;
            }
        }
        path += nodeFormat_[i];
    }
    return path;
}

// The library's own scan order, without the nodes that do not exist (a probe of each would only say so).
std::vector<int> Instrument::ExistingPorts() const {
    std::vector<int> candidates(static_cast<size_t>(std::max(GetCandidatePorts(nullptr, 0), 0)));
    const int count = GetCandidatePorts(candidates.data(), static_cast<int>(candidates.size()));
    candidates.resize(static_cast<size_t>(std::clamp(count, 0, static_cast<int>(candidates.size()))));
    std::vector<int> ports;
    for (int n : candidates) {
        struct stat st;
        if (stat(NodePath(n).c_str(), &st) == 0) {
            ports.push_back(n);
        }
    }
    return ports;
}

std::vector<std::string> Instrument::ConnectionReport() const {
    return ConnectionReportLines(": join the dialout group or install the udev rules, see README");
}

void Instrument::MarkOutputStart() {
    outputStart_ = std::chrono::steady_clock::now();
    outputStarted_ = true;
}

double Instrument::ReceivedSeconds(const qoltsim::Recording& r) {
    for (; packetsSeen_ < r.packets.size(); ++packetsSeen_) {
        packetSeconds_ += r.packets[packetsSeen_].seconds;
    }
    // Packets past the recording's bounds are counted as whole ones of 0.2 ms samples.
    const uint64_t unlisted = r.totalPackets - r.packets.size();
    return packetSeconds_ + static_cast<double>(unlisted) * 0.3;
}

bool Instrument::WaitForOutput(double seconds, std::chrono::milliseconds timeout) {
    if (!virtual_) {
        return false;
    }
    return virtual_->WaitFor(
        [&](const qoltsim::Recording& r) {
            return ReceivedSeconds(r) >= seconds || plug_.UnplugDue(r.totalPackets);
        },
        timeout);
}

double Instrument::OutputSeconds() {
    if (virtual_ && !options_.fast) {
        return virtual_->PlayedSeconds();
    }
    return ReceivedSeconds();
}

double Instrument::ReceivedSeconds() {
    if (virtual_) {
        double seconds = 0.0;
        virtual_->WaitFor(
            [&](const qoltsim::Recording& r) {
                seconds = ReceivedSeconds(r);
                return true;
            },
            std::chrono::milliseconds(0));
        return seconds;
    }
    if (!outputStarted_) {
        return 0.0;
    }
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - outputStart_).count();
}

void Instrument::HoldVirtualRequests() {
    if (virtual_) {
        virtual_->SetPacing(qoltsim::Pacing::Manual);
    }
}

void Instrument::HoldFastRequests() {
    if (options_.fast) {
        HoldVirtualRequests();
    }
}

void Instrument::ReleaseFastRequests() {
    if (!virtual_ || !options_.fast) {
        return;
    }
    // The packet that went out unasked gets its request now. Should it not have arrived, a request still
    // goes out, so that the stream cannot wait for a packet that never comes.
    virtual_->WaitForPackets(1, std::chrono::seconds(2));
    virtual_->SetPacing(qoltsim::Pacing::Fast);
    virtual_->SendDataRequest();
}

void Instrument::Service() {
    if (virtual_) {
        plug_.Service(*virtual_);
    }
}

qoltsim::Capture Instrument::TakeCapture(const std::vector<double>& pacingMarkers,
                                         std::optional<double> limit) {
    if (!virtual_) {
        return {};
    }
    // Close's last command may still be on its way through the pseudo-terminal.
    virtual_->WaitForCommand(qoltsim::MessageKind::Close, 1, std::chrono::seconds(1));
    return qoltsim::BuildCapture(virtual_->Snapshot(), pacingMarkers, limit);
}

} // namespace qoltcli
