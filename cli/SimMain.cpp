// qolt-sim: the virtual instrument as a program, serving a pseudo-terminal to other processes.
#include "ExitCodes.h"
#include "Json.h"
#include "PlugPlan.h"
#include "SimOptions.h"
#include "StopSignal.h"
#include "qolt_version.h"
#include "sim/Capture.h"
#include "sim/CaptureFiles.h"
#include "sim/TempDir.h"
#include "sim/VirtualInstrument.h"

#include <chrono>
#include <cstdio>
#include <ctime>
#include <memory>
#include <unistd.h>

namespace {

using namespace qoltcli;

int Fail(int code, const std::string& message) {
    std::fprintf(stderr, "qolt-sim: %s\n", message.c_str());
    return code;
}

bool WriteReadyFile(const std::string& path, const std::string& text) {
    const std::string temporary = path + ".part";
    FILE* f = std::fopen(temporary.c_str(), "w");
    if (f == nullptr) {
        return false;
    }
    const bool written = std::fwrite(text.data(), 1, text.size(), f) == text.size();
    if (std::fclose(f) != 0 || !written || std::rename(temporary.c_str(), path.c_str()) != 0) {
        unlink(temporary.c_str());
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char** argv) {
    const SimParseResult parsed = ParseSimCommandLine(argc, argv);
    const SimOptions& o = parsed.options;
    if (o.help) {
        PrintSimHelp(stdout);
        return kExitOk;
    }
    if (o.version) {
        std::printf("qolt-sim, libqolt %s\n", QOLT_LIBRARY_VERSION);
        return kExitOk;
    }
    if (!parsed.error.empty()) {
        return Fail(kExitUsage, parsed.error);
    }

    StopSignal stop;
    if (!stop.Start()) {
        return Fail(kExitFailure, "cannot set up signal handling");
    }
    std::unique_ptr<qoltsim::TempDir> temporary;
    std::string directory = o.directory;
    if (directory.empty()) {
        temporary = std::make_unique<qoltsim::TempDir>("qolt-sim");
        if (!temporary->Valid()) {
            return Fail(kExitVirtual, "cannot make a directory for the node");
        }
        directory = temporary->Path();
    }
    qoltsim::Config config = o.config;
    config.directory = directory;
    qoltsim::VirtualInstrument instrument(config);
    if (!instrument.Start()) {
        return Fail(kExitVirtual, "cannot serve: " + instrument.LastError());
    }
    for (const SimFault& f : o.faults) {
        instrument.SetFault(f.message, f.fault);
    }
    if (o.silent) {
        instrument.SetSilent(true);
    }

    const std::string serial = !config.serialText.empty()
                                   ? config.serialText
                                   : qoltsim::FormatSerialNumber(qoltsim::BuildInformationBlock(config));
    const std::string format = directory + "/ttyACM%d";
    std::string ready;
    if (o.json) {
        Json j;
        j.BeginObject().Field("node", instrument.NodePath()).Field("format", format);
        j.Field("port", config.node).Field("lock_dir", directory).Field("serial", serial).EndObject();
        ready = j.Text() + "\n";
    } else {
        ready = "node " + instrument.NodePath() + "\nformat " + format + "\nport " +
                std::to_string(config.node) + "\nlock-dir " + directory + "\nserial " + serial + "\n";
    }
    std::fputs(ready.c_str(), stdout);
    std::fflush(stdout);
    if (o.readyFile && !WriteReadyFile(*o.readyFile, ready)) {
        return Fail(kExitOutputFile, "cannot write " + *o.readyFile);
    }
    if (isatty(STDERR_FILENO) == 1) {
        std::fprintf(stderr,
                     "qolt-sim: serving; try: qolt --node-format '%s' --lock-dir '%s' --port %d info\n",
                     format.c_str(), directory.c_str(), config.node);
    }

    const std::time_t wallStart = std::time(nullptr);
    const auto started = std::chrono::steady_clock::now();
    PlugPlan plug(o.unplugAfterPackets, o.replugAfterMs);
    std::string ended = "signal";
    for (;;) {
        plug.Service(instrument);
        if (stop.Requested()) {
            break;
        }
        if (o.duration && std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count() >=
                              *o.duration) {
            ended = "duration";
            break;
        }
        if (o.exitOnClose) {
            if (instrument.WaitForCommand(qoltsim::MessageKind::Close, 1, std::chrono::milliseconds(50))) {
                ended = "close";
                break;
            }
        } else {
            stop.WaitFor(std::chrono::milliseconds(50));
        }
    }
    instrument.Stop();
    stop.Stop();

    const qoltsim::Recording recording = instrument.Snapshot();
    const qoltsim::Capture capture = qoltsim::BuildCapture(recording);
    qoltsim::CaptureFileOptions files;
    files.edf.start = wallStart;
    files.plot.title = "qolt-sim: what the virtual instrument played";
    std::vector<std::string> paths = o.captures;
    if (o.plot) {
        paths.push_back(*o.plot);
    }
    int rc = kExitOk;
    for (const std::string& path : paths) {
        std::string error;
        if (!qoltsim::WriteCaptureFile(path, capture, files, error)) {
            rc = Fail(kExitOutputFile, "cannot write " + path + ": " + error);
        }
    }

    const size_t commands = static_cast<size_t>(capture.CountAnnotations(qoltsim::AnnotationKind::Command));
    if (o.json) {
        Json j;
        j.BeginObject().Field("ended", ended);
        j.Field("packets", static_cast<unsigned long long>(recording.totalPackets));
        j.Field("samples", static_cast<unsigned long long>(recording.totalSamples));
        j.Field("seconds", capture.Seconds());
        j.Field("commands", static_cast<unsigned long long>(commands));
        j.Key("packet_faults").BeginArray();
        for (size_t i = 0; i < recording.violations.size() && i < 50; ++i) {
            const qoltsim::PacketViolation& v = recording.violations[i];
            j.BeginObject().Field("packet", static_cast<long long>(v.packet));
            j.Field("kind", qoltsim::ViolationKindName(v.kind))
                .Field("offset", static_cast<long long>(v.offset));
            j.EndObject();
        }
        j.EndArray();
        j.Key("files").BeginArray();
        for (const std::string& path : paths) {
            j.String(path);
        }
        j.EndArray().EndObject();
        std::printf("%s\n", j.Text().c_str());
    } else {
        std::fprintf(stderr,
                     "qolt-sim: received %llu packets (%.1f s of output), %zu commands, %zu packet faults\n",
                     static_cast<unsigned long long>(recording.totalPackets), capture.Seconds(), commands,
                     recording.violations.size());
    }
    return rc;
}
