#include "SimOptions.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <strings.h>

namespace qoltcli {

namespace {

bool Integer(const std::string& text, long long lo, long long hi, long long& out) {
    if (text.empty()) {
        return false;
    }
    errno = 0;
    char* end = nullptr;
    const long long v = std::strtoll(text.c_str(), &end, 10);
    if (*end != '\0' || errno == ERANGE || v < lo || v > hi) {
        return false;
    }
    out = v;
    return true;
}

bool Version(const std::string& text, long long majorMax, long long minorMax, long long& major,
             long long& minor) {
    const size_t dot = text.find('.');
    return dot != std::string::npos && Integer(text.substr(0, dot), 0, majorMax, major) &&
           Integer(text.substr(dot + 1), 0, minorMax, minor);
}

bool EndsWith(const std::string& text, const char* suffix) {
    const size_t n = std::strlen(suffix);
    return text.size() > n && strcasecmp(text.c_str() + text.size() - n, suffix) == 0;
}

bool MessageByName(const std::string& name, qoltsim::MessageKind& kind) {
    using qoltsim::MessageKind;
    static const std::pair<const char*, MessageKind> kNames[] = {
        {"identify", MessageKind::Identify},        {"serial", MessageKind::SerialQuery},
        {"info", MessageKind::InfoQuery},           {"port-tag", MessageKind::PortTag},
        {"converter", MessageKind::ConverterQuery}, {"store-block", MessageKind::StoreBlock},
    };
    for (const auto& n : kNames) {
        if (name == n.first) {
            kind = n.second;
            return true;
        }
    }
    return false;
}

// MESSAGE:KIND[:VALUE]
std::string ParseFault(const std::string& text, SimFault& out) {
    const size_t a = text.find(':');
    if (a == std::string::npos) {
        return "not MESSAGE:KIND[:VALUE]";
    }
    const size_t b = text.find(':', a + 1);
    const std::string message = text.substr(0, a);
    const std::string kind = text.substr(a + 1, b == std::string::npos ? std::string::npos : b - a - 1);
    const std::string value = b == std::string::npos ? std::string() : text.substr(b + 1);
    if (!MessageByName(message, out.message)) {
        return "unknown message " + message + " (identify, serial, info, port-tag, converter, store-block)";
    }
    long long n = 0;
    if (!value.empty() && !Integer(value, 0, 1000000, n)) {
        return "VALUE " + value + " is not a whole number 0 to 1000000";
    }
    using qoltsim::FaultKind;
    if (kind == "silent") {
        out.fault = qoltsim::Fault(FaultKind::Silent);
    } else if (kind == "short") {
        out.fault =
            qoltsim::Fault(FaultKind::Short, std::chrono::milliseconds(0), -1, static_cast<size_t>(n));
    } else if (kind == "late") {
        out.fault = qoltsim::Fault(FaultKind::Late, std::chrono::milliseconds(value.empty() ? 200 : n));
    } else if (kind == "garbage") {
        out.fault = qoltsim::Fault(FaultKind::Garbage);
    } else if (kind == "wrong-token") {
        out.fault = qoltsim::Fault(FaultKind::WrongToken);
    } else if (kind == "long") {
        out.fault = qoltsim::Fault(FaultKind::Long, std::chrono::milliseconds(0), -1, static_cast<size_t>(n));
    } else {
        return "unknown fault " + kind + " (silent, short, late, garbage, wrong-token, long)";
    }
    return {};
}

} // namespace

SimParseResult ParseSimCommandLine(int argc, const char* const* argv) {
    SimParseResult result;
    SimOptions& o = result.options;
    o.config.pacing = qoltsim::Pacing::RealTime;
    for (int i = 1; i < argc; ++i) {
        std::string name = argv[i];
        std::string value;
        bool hasValue = false;
        const size_t eq = name.find('=');
        if (name.rfind("--", 0) == 0 && eq != std::string::npos) {
            value = name.substr(eq + 1);
            name = name.substr(0, eq);
            hasValue = true;
        }
        auto need = [&]() -> bool {
            if (hasValue) {
                return true;
            }
            if (i + 1 >= argc) {
                result.error = name + " needs a value";
                return false;
            }
            value = argv[++i];
            return true;
        };
        auto bad = [&](const std::string& why) { result.error = name + " " + value + ": " + why; };
        long long n = 0;
        if (name == "-h" || name == "--help") {
            o.help = true;
        } else if (name == "--version") {
            o.version = true;
        } else if (name == "--json") {
            o.json = true;
        } else if (name == "--fast") {
            o.config.pacing = qoltsim::Pacing::Fast;
        } else if (name == "--silent") {
            o.silent = true;
        } else if (name == "--exit-on-close") {
            o.exitOnClose = true;
        } else if (name == "--dir") {
            if (!need()) {
                return result;
            }
            o.directory = value;
        } else if (name == "--node") {
            if (!need()) {
                return result;
            }
            if (!Integer(value, 0, 127, n)) {
                bad("not a node number 0 to 127");
                return result;
            }
            o.config.node = static_cast<int>(n);
        } else if (name == "--serial-form") {
            if (!need()) {
                return result;
            }
            if (value != "newer" && value != "older") {
                bad("not newer or older");
                return result;
            }
            o.config.serialForm = value == "newer" ? qoltsim::SerialForm::Newer : qoltsim::SerialForm::Older;
        } else if (name == "--model") {
            if (!need()) {
                return result;
            }
            if (value != "standard" && value != "enhanced") {
                bad("not standard or enhanced");
                return result;
            }
            o.config.model = value == "enhanced" ? qoltsim::Model::Enhanced : qoltsim::Model::Standard;
        } else if (name == "--firmware") {
            if (!need()) {
                return result;
            }
            long long major = 0, minor = 0;
            if (!Version(value, 255, 255, major, minor)) {
                bad("not MAJOR.MINOR (each 0 to 255)");
                return result;
            }
            o.config.firmwareMajor = static_cast<uint8_t>(major);
            o.config.firmwareMinor = static_cast<uint8_t>(minor);
        } else if (name == "--hardware") {
            if (!need()) {
                return result;
            }
            long long major = 0, minor = 0;
            if (!Version(value, 25, 9, major, minor) || major * 10 + minor > 255) {
                bad("not X.Y (0.0 to 25.5)");
                return result;
            }
            o.config.hardwareVersion = static_cast<uint8_t>(major * 10 + minor);
        } else if (name == "--unit") {
            if (!need()) {
                return result;
            }
            if (!Integer(value, 0, 65535, n)) {
                bad("not a unit number 0 to 65535");
                return result;
            }
            o.config.unitNumber = static_cast<uint16_t>(n);
        } else if (name == "--serial-text") {
            if (!need()) {
                return result;
            }
            o.config.serialText = value;
        } else if (name == "--converter") {
            if (!need()) {
                return result;
            }
            if (!Integer(value, 0, 65535, n)) {
                bad("not a reading 0 to 65535");
                return result;
            }
            o.config.converterValue = static_cast<uint16_t>(n);
        } else if (name == "--version-report") {
            if (!need()) {
                return result;
            }
            if (value.size() != 7 || value.find_first_not_of("0123456789") != std::string::npos) {
                bad("not seven digits");
                return result;
            }
            o.config.versionReportAfterIdentification = value;
        } else if (name == "--fault") {
            if (!need()) {
                return result;
            }
            SimFault fault{};
            const std::string why = ParseFault(value, fault);
            if (!why.empty()) {
                bad(why);
                return result;
            }
            o.faults.push_back(fault);
        } else if (name == "--unplug-after-packets") {
            if (!need()) {
                return result;
            }
            if (!Integer(value, 1, 1LL << 40, n)) {
                bad("not a packet count of 1 or more");
                return result;
            }
            o.unplugAfterPackets = n;
        } else if (name == "--replug-after") {
            if (!need()) {
                return result;
            }
            if (!Integer(value, 0, 600000, o.replugAfterMs)) {
                bad("not a time of 0 to 600000 ms");
                return result;
            }
        } else if (name == "--duration") {
            if (!need()) {
                return result;
            }
            char* end = nullptr;
            const double d = std::strtod(value.c_str(), &end);
            if (value.empty() || *end != '\0' || !std::isfinite(d) || d <= 0.0) {
                bad("not a duration of more than 0 s");
                return result;
            }
            o.duration = d;
        } else if (name == "--capture") {
            if (!need()) {
                return result;
            }
            if (!EndsWith(value, ".edf") && !EndsWith(value, ".csv")) {
                bad("the capture file must end in .edf or .csv");
                return result;
            }
            o.captures.push_back(value);
        } else if (name == "--plot") {
            if (!need()) {
                return result;
            }
            if (!EndsWith(value, ".svg")) {
                bad("the plot file must end in .svg");
                return result;
            }
            o.plot = value;
        } else if (name == "--ready-file") {
            if (!need()) {
                return result;
            }
            o.readyFile = value;
        } else {
            result.error = name.rfind("-", 0) == 0 ? "unknown option " + name + " (see qolt-sim --help)"
                                                   : "unexpected argument " + name + " (see qolt-sim --help)";
            return result;
        }
    }
    if (o.config.serialForm == qoltsim::SerialForm::Older && o.config.model == qoltsim::Model::Enhanced) {
        result.error = "--model enhanced needs the newer serial form";
    }
    return result;
}

void PrintSimHelp(FILE* out) {
    std::fputs(
        "usage: qolt-sim [OPTIONS]\n"
        "\n"
        "Runs the virtual instrument: a pseudo-terminal that speaks the instrument's side of the serial\n"
        "protocol, linked as <dir>/ttyACM<node>. It prints where it serves, then serves until Ctrl-C,\n"
        "SIGTERM, --duration or (with --exit-on-close) the host's close command, and writes what it played.\n"
        "\n"
        "Printed on stdout when ready (one line each; with --json one JSON object):\n"
        "  node NODE            the device node to open\n"
        "  format FORMAT        for SetDeviceNodeFormat / qolt --node-format\n"
        "  port N               for Connect / qolt --port\n"
        "  lock-dir DIR         for SetLockDirectory / qolt --lock-dir (keeps clear of real instruments' "
        "locks)\n"
        "  serial SERIAL        the serial number it reports\n"
        "\n"
        "Where:\n"
        "  --dir DIR            directory for the node (default: a fresh one in $TMPDIR, removed at the "
        "end)\n"
        "  --node N             node number (default 0)\n"
        "  --ready-file FILE    also write the lines above to FILE once serving\n"
        "\n"
        "What it is:\n"
        "  --serial-form newer|older   serial number form (default newer)\n"
        "  --model standard|enhanced   model (default standard)\n"
        "  --firmware MAJOR.MINOR      firmware version (default 5.6)\n"
        "  --hardware X.Y              hardware version (default 1.2)\n"
        "  --unit N                    unit number (default 300)\n"
        "  --serial-text TEXT          reply to the serial query (default: from the information block)\n"
        "  --converter N               converter reading (default 2048)\n"
        "  --version-report DIGITS     send this firmware version report (7 digits) after identification\n"
        "\n"
        "Pacing and faults:\n"
        "  --fast                      ask for the next packet at once (default: real time, 5000 samples/s)\n"
        "  --fault MESSAGE:KIND[:VALUE]  fault the replies to MESSAGE (identify, serial, info, port-tag,\n"
        "                              converter, store-block): silent, short[:BYTES], late[:MS],\n"
        "                              garbage, wrong-token, long[:BYTES]; repeatable\n"
        "  --silent                    answer nothing and ask for nothing\n"
        "  --unplug-after-packets N    pull the plug after N packets ...\n"
        "  --replug-after MS           ... and plug it back MS ms later (default 500)\n"
        "\n"
        "End and results:\n"
        "  --duration SECONDS          serve this long (wall-clock)\n"
        "  --exit-on-close             end when the host sends its close command\n"
        "  --capture FILE              write what it played: FILE.edf (EDF+) or FILE.csv; repeatable\n"
        "  --plot FILE.svg             draw it\n"
        "  --json                      print the ready lines and the final summary as JSON\n"
        "\n"
        "  --help, --version           this text, or the version of the libqolt tree it was built from\n"
        "\n"
        "Exit codes: 0 done, 2 bad command line, 6 a capture could not be written, 7 could not start.\n",
        out);
}

} // namespace qoltcli
