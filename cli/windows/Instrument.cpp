// The instrument qolt talks to on Windows: a real one, found by the library among the USB interfaces of
// the instrument and named by its COM port. The virtual instrument serves a pseudo-terminal, which Windows
// does not have: --virtual is refused with a way out.
#include "Instrument.h"

#include "ConnectionReportLines.h"
#include "ExitCodes.h"
#include "LibraryEvents.h"
#include "qolt_api.h"

#include <algorithm>
#include <cstdio>

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
}

int Instrument::Prepare(std::string& error) {
    if (options_.virtualInstrument) {
        error =
            "--virtual: the virtual instrument serves a pseudo-terminal, which Windows does not have; run "
            "qolt-sim and qolt --virtual on Linux, or connect the instrument";
        return kExitVirtual;
    }
    if (options_.nodeFormat || options_.lockDirectory) {
        error = std::string(options_.nodeFormat ? "--node-format" : "--lock-dir") +
                ": Windows finds the instrument among its USB interfaces and claims the port by opening it "
                "alone; name the port with --port N for COMN";
        return kExitUsage;
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
        for (const std::string& line : ConnectionReport()) {
            error += "\n  " + line;
        }
        return kExitNoInstrument;
    }
    Events().linked.store(true);
    Init(LibraryListener);
    SpecifyCOMPort(port);
    RegisterLibraryCallbacks();
    return kExitOk;
}

void Instrument::Close() {
    if (sessionStarted_) {
        ::Close();
        sessionStarted_ = false;
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
    return "COM" + std::to_string(port);
}

// The COM ports of the instrument's interfaces that are present now, in the order a search tries them.
std::vector<int> Instrument::ExistingPorts() const {
    std::vector<int> ports(static_cast<size_t>(std::max(GetCandidatePorts(nullptr, 0), 0)));
    const int count = GetCandidatePorts(ports.data(), static_cast<int>(ports.size()));
    ports.resize(static_cast<size_t>(std::clamp(count, 0, static_cast<int>(ports.size()))));
    return ports;
}

std::vector<std::string> Instrument::ConnectionReport() const {
    return ConnectionReportLines(": another program has the port open");
}

void Instrument::MarkOutputStart() {
    outputStart_ = std::chrono::steady_clock::now();
    outputStarted_ = true;
}

// A real instrument tells nothing of what it played: the wall-clock time since the output started.
double Instrument::OutputSeconds() {
    return ReceivedSeconds();
}

double Instrument::ReceivedSeconds() {
    if (!outputStarted_) {
        return 0.0;
    }
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - outputStart_).count();
}

bool Instrument::WaitForOutput(double, std::chrono::milliseconds) {
    return false;
}

void Instrument::HoldVirtualRequests() {}

void Instrument::HoldFastRequests() {}

void Instrument::ReleaseFastRequests() {}

void Instrument::Service() {}

qoltsim::Capture Instrument::TakeCapture(const std::vector<double>&, std::optional<double>) {
    return {};
}

} // namespace qoltcli

// Instrument holds its virtual instrument through a unique_ptr, which stays empty here; its destructor
// is all the class needs on Windows.
struct qoltsim::VirtualInstrument::Impl {};
qoltsim::VirtualInstrument::~VirtualInstrument() = default;
