// `qolt list` and `qolt info`: who is there.
#include "Commands.h"
#include "ExitCodes.h"
#include "Instrument.h"

#include <cstdio>

namespace qoltcli {

namespace {

const char* ModelName(const Identity& id) {
    return id.enhanced ? "enhanced" : "standard";
}

void IdentityJson(Json& j, const Identity& id) {
    j.Field("port", id.port).Field("serial", id.serial).Field("model", ModelName(id));
    j.Field("hardware", id.hardware).Field("firmware", id.firmware);
}

} // namespace

int RunList(const Options& options, const Reporter& reporter) {
    Instrument instrument(options);
    std::string error;
    int rc = instrument.Prepare(error);
    if (rc != kExitOk) {
        return reporter.Fail(rc, error);
    }
    const std::vector<int> ports =
        options.port ? std::vector<int>{*options.port} : instrument.ExistingPorts();
    std::vector<Identity> found;
    std::vector<std::string> silent;
    std::vector<std::string> reasons; // the library's, for each silent node
    for (int port : ports) {
        if (instrument.Connect(port, error) == kExitOk) {
            found.push_back(instrument.ReadIdentity());
            instrument.Close();
        } else {
            const std::string node = instrument.NodePath(port);
            silent.push_back(node);
            std::string reason;
            for (const std::string& line : instrument.ConnectionReport()) {
                if (line.rfind(node + ": ", 0) == 0) {
                    reason = line.substr(node.size() + 2);
                }
            }
            reasons.push_back(reason);
        }
    }

    if (reporter.Json()) {
        Json j;
        j.BeginObject().Key("instruments").BeginArray();
        for (const Identity& id : found) {
            j.BeginObject();
            IdentityJson(j, id);
            j.EndObject();
        }
        j.EndArray().Key("not_answering").BeginArray();
        for (const std::string& node : silent) {
            j.String(node);
        }
        j.EndArray().Key("reasons").BeginObject();
        for (size_t i = 0; i < silent.size(); ++i) {
            j.Field(silent[i], reasons[i]);
        }
        j.EndObject().EndObject();
        if (!found.empty()) {
            reporter.Document(j);
        }
    } else if (!found.empty()) {
        reporter.Line("PORT                      SERIAL            MODEL     HARDWARE  FIRMWARE");
        for (const Identity& id : found) {
            char line[256];
            std::snprintf(line, sizeof line, "%-25s %-17s %-9s %-9s %s", id.port.c_str(), id.serial.c_str(),
                          ModelName(id), id.hardware.c_str(), id.firmware.c_str());
            reporter.Line(line);
        }
    }
    for (size_t i = 0; i < silent.size(); ++i) {
        if (!reasons[i].empty()) {
            reporter.Warn(silent[i] + ": " + reasons[i]);
            continue;
        }
        char text[512];
        std::snprintf(text, sizeof text, "%s: no instrument answered within %g s", silent[i].c_str(),
                      options.timeoutSeconds);
        reporter.Warn(text);
    }
    if (found.empty()) {
        if (ports.empty()) {
            return reporter.Fail(kExitNoInstrument, "no instrument found (no device node " +
                                                        instrument.NodePath(0) + " or like it exists)");
        }
        char text[64];
        std::snprintf(text, sizeof text, "no instrument found within %g s", options.timeoutSeconds);
        return reporter.Fail(kExitNoInstrument, text);
    }
    return kExitOk;
}

int RunInfo(const Options& options, const Reporter& reporter) {
    Instrument instrument(options);
    std::string error;
    int rc = instrument.Prepare(error);
    if (rc == kExitOk) {
        rc = instrument.Connect(options.port.value_or(-1), error);
    }
    if (rc != kExitOk) {
        return reporter.Fail(rc, error);
    }
    const Identity id = instrument.ReadIdentity();
    instrument.Close();

    if (reporter.Json()) {
        Json j;
        j.BeginObject();
        IdentityJson(j, id);
        j.Field("version_report", id.versionReport).Field("converter", id.converter);
        j.Field("library", id.sdk).Field("virtual", instrument.IsVirtual());
        j.EndObject();
        reporter.Document(j);
        return kExitOk;
    }
    char converter[64];
    std::snprintf(converter, sizeof converter, "%d (0x%04X)", id.converter,
                  static_cast<unsigned>(id.converter));
    reporter.Line("port:       " + id.port + (instrument.IsVirtual() ? "  (virtual instrument)" : ""));
    reporter.Line("serial:     " + id.serial);
    reporter.Line(std::string("model:      ") + ModelName(id));
    reporter.Line("hardware:   " + id.hardware);
    reporter.Line("firmware:   " + id.firmware + (id.versionReport ? " (sent its version report)" : ""));
    reporter.Line(std::string("converter:  ") + converter);
    reporter.Line("interface:  " + id.sdk);
    return kExitOk;
}

} // namespace qoltcli
