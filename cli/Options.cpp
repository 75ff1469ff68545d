#include "Options.h"

#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cctype>
#include <cstring>
#include <functional>
#include <strings.h>

namespace qoltcli {

namespace {

enum Mask : unsigned {
    kList = 1u << 0,
    kInfo = 1u << 1,
    kPlay = 1u << 2,
    kScan = 1u << 3,
    kLoad = 1u << 4,
    kRun = 1u << 5,
    kPlan = 1u << 6,
    kAnalyze = 1u << 7,
    kAll = kList | kInfo | kPlay | kScan | kLoad | kRun, // the commands that talk to an instrument
    kOutput = kPlay | kScan | kLoad,
};

unsigned MaskOf(Command c) {
    switch (c) {
    case Command::List:
        return kList;
    case Command::Info:
        return kInfo;
    case Command::Play:
        return kPlay;
    case Command::Scan:
        return kScan;
    case Command::Load:
        return kLoad;
    case Command::Run:
        return kRun;
    case Command::Plan:
        return kPlan;
    case Command::Analyze:
        return kAnalyze;
    case Command::None:
        break;
    }
    return kAll;
}

bool ParseDouble(const std::string& text, double& out) {
    if (text.empty()) {
        return false;
    }
    errno = 0;
    char* end = nullptr;
    const double v = std::strtod(text.c_str(), &end);
    if (end == text.c_str() || *end != '\0' || errno == ERANGE || !std::isfinite(v)) {
        return false;
    }
    out = v;
    return true;
}

bool ParseInteger(const std::string& text, long long& out) {
    if (text.empty()) {
        return false;
    }
    errno = 0;
    char* end = nullptr;
    const long long v = std::strtoll(text.c_str(), &end, 10);
    if (end == text.c_str() || *end != '\0' || errno == ERANGE) {
        return false;
    }
    out = v;
    return true;
}

bool EndsWith(const std::string& text, const char* suffix) {
    const size_t n = std::strlen(suffix);
    return text.size() > n && strcasecmp(text.c_str() + text.size() - n, suffix) == 0;
}

using Store = std::function<std::string(Options&, const std::string&)>; // returns an error or ""

struct OptionDef {
    const char* name;
    const char* value; // null: a flag
    unsigned commands;
    Store store;
};

std::string NotNumber(const std::string& v) {
    return v + ": not a number";
}
std::string NotInteger(const std::string& v) {
    return v + ": not a whole number";
}

Store Real(std::optional<double> Options::*field) {
    return [field](Options& o, const std::string& v) -> std::string {
        double d = 0;
        if (!ParseDouble(v, d)) {
            return NotNumber(v);
        }
        o.*field = d;
        return {};
    };
}

Store Whole(std::optional<long long> Options::*field) {
    return [field](Options& o, const std::string& v) -> std::string {
        long long n = 0;
        if (!ParseInteger(v, n)) {
            return NotInteger(v);
        }
        o.*field = n;
        return {};
    };
}

Store JsonFile(std::optional<std::string> Options::*field) {
    return [field](Options& o, const std::string& v) -> std::string {
        if (!EndsWith(v, ".json")) {
            return v + ": the file must end in .json";
        }
        o.*field = v;
        return {};
    };
}

Store Flag(bool Options::*field) {
    return [field](Options& o, const std::string&) -> std::string {
        o.*field = true;
        return {};
    };
}

const std::vector<OptionDef>& OptionDefs() {
    static const std::vector<OptionDef> defs = {
        {"--json", nullptr, kAll | kPlan | kAnalyze, Flag(&Options::json)},
        {"--virtual", nullptr, kAll, Flag(&Options::virtualInstrument)},
        {"--fast", nullptr, kAll, Flag(&Options::fast)},
        {"--port", "N", kAll,
         [](Options& o, const std::string& v) -> std::string {
             long long n = 0;
             if (!ParseInteger(v, n) || n < 0 || n > 127) {
                 return v + ": not a port number 0 to 127";
             }
             o.port = static_cast<int>(n);
             return {};
         }},
        {"--timeout", "SECONDS", kAll,
         [](Options& o, const std::string& v) -> std::string {
             double d = 0;
             if (!ParseDouble(v, d) || d <= 0.0 || d > 3600.0) {
                 return v + ": not a time-out of more than 0 and at most 3600 s";
             }
             o.timeoutSeconds = d;
             return {};
         }},
        {"--node-format", "FORMAT", kAll,
         [](Options& o, const std::string& v) -> std::string {
             o.nodeFormat = v;
             return {};
         }},
        {"--lock-dir", "DIR", kAll,
         [](Options& o, const std::string& v) -> std::string {
             o.lockDirectory = v;
             return {};
         }},
        {"--model", "standard|enhanced", kAll,
         [](Options& o, const std::string& v) -> std::string {
             if (v != "standard" && v != "enhanced") {
                 return v + ": not standard or enhanced";
             }
             o.enhancedModel = v == "enhanced";
             return {};
         }},
        {"--firmware", "MAJOR.MINOR", kAll,
         [](Options& o, const std::string& v) -> std::string {
             const size_t dot = v.find('.');
             long long major = 0, minor = 0;
             if (dot == std::string::npos || !ParseInteger(v.substr(0, dot), major) ||
                 !ParseInteger(v.substr(dot + 1), minor) || major < 0 || major > 255 || minor < 0 ||
                 minor > 255) {
                 return v + ": not a version MAJOR.MINOR (each 0 to 255)";
             }
             o.firmware = std::make_pair(static_cast<int>(major), static_cast<int>(minor));
             return {};
         }},
        {"--unplug-after-packets", "N", kAll,
         [](Options& o, const std::string& v) -> std::string {
             long long n = 0;
             if (!ParseInteger(v, n) || n < 1) {
                 return v + ": not a packet count of 1 or more";
             }
             o.unplugAfterPackets = n;
             return {};
         }},
        {"--replug-after", "MS", kAll,
         [](Options& o, const std::string& v) -> std::string {
             long long n = 0;
             if (!ParseInteger(v, n) || n < 0 || n > 600000) {
                 return v + ": not a time of 0 to 600000 ms";
             }
             o.replugAfterMs = n;
             return {};
         }},
        {"--duration", "SECONDS", kOutput,
         [](Options& o, const std::string& v) -> std::string {
             double d = 0;
             if (!ParseDouble(v, d) || d <= 0.0) {
                 return v + ": not a duration of more than 0 s";
             }
             o.duration = d;
             return {};
         }},
        {"--capture", "FILE.edf|FILE.csv", kOutput | kRun,
         [](Options& o, const std::string& v) -> std::string {
             if (!EndsWith(v, ".edf") && !EndsWith(v, ".csv")) {
                 return v + ": the capture file must end in .edf or .csv";
             }
             o.captures.push_back(v);
             return {};
         }},
        {"--plot", "FILE.svg", kOutput | kRun | kAnalyze,
         [](Options& o, const std::string& v) -> std::string {
             if (!EndsWith(v, ".svg")) {
                 return v + ": the plot file must end in .svg";
             }
             o.plot = v;
             return {};
         }},
        {"--amplitude", "A", kPlay | kScan | kPlan, Real(&Options::amplitude)},
        {"--frequency", "HZ", kPlay, Real(&Options::frequency)},
        {"--pulse-width", "MS", kPlay, Real(&Options::pulseWidth)},
        {"--qrs", "MS", kPlay | kScan, Real(&Options::qrs)},
        {"--t-wave", "A", kPlay | kScan, Real(&Options::tWave)},
        {"--noise", "50|60", kPlay | kScan,
         [](Options& o, const std::string& v) -> std::string {
             if (v != "50" && v != "60") {
                 return v + ": not 50 or 60 (Hz)";
             }
             o.noise = v == "50" ? 50 : 60;
             return {};
         }},
        {"--noise-amplitude", "A", kPlay | kScan, Real(&Options::noiseAmplitude)},
        {"--drift", nullptr, kPlay | kScan, Flag(&Options::drift)},
        {"--leads", "LIST", kOutput,
         [](Options& o, const std::string& v) -> std::string {
             std::vector<int> leads;
             size_t at = 0;
             while (at <= v.size()) {
                 const size_t comma = std::min(v.find(',', at), v.size());
                 long long n = 0;
                 if (!ParseInteger(v.substr(at, comma - at), n) || n < INT_MIN || n > INT_MAX) {
                     return v + ": not a comma-separated list of lead numbers";
                 }
                 leads.push_back(static_cast<int>(n));
                 at = comma + 1;
             }
             o.leads = leads;
             return {};
         }},
        {"--impedance-mode", "on|off", kOutput,
         [](Options& o, const std::string& v) -> std::string {
             if (v != "on" && v != "off") {
                 return v + ": not on or off";
             }
             o.impedanceMode = v == "on";
             return {};
         }},
        {"--dc-offset", "N", kOutput, Whole(&Options::dcOffset)},
        {"--dc-variable", nullptr, kOutput, Flag(&Options::dcVariable)},
        {"--dc-common", nullptr, kOutput, Flag(&Options::dcCommon)},
        {"--pacing-amplitude", "A", kOutput, Real(&Options::pacingAmplitude)},
        {"--pacing-duration", "MS", kOutput, Real(&Options::pacingDuration)},
        {"--pacing-rate", "PER_MINUTE", kOutput, Whole(&Options::pacingRate)},
        {"--pacing-pattern", "single|pair-150|pair-250", kOutput,
         [](Options& o, const std::string& v) -> std::string {
             if (v == "single") {
                 o.pacingPattern = 0;
             } else if (v == "pair-150") {
                 o.pacingPattern = 1;
             } else if (v == "pair-250") {
                 o.pacingPattern = 2;
             } else {
                 return v + ": not single, pair-150 or pair-250";
             }
             return {};
         }},
        {"--overshoot-time", "MS", kOutput, Whole(&Options::overshootTime)},
        {"--overshoot-amplitude", "A", kOutput, Real(&Options::overshootAmplitude)},
        {"--dynamic-range-test", nullptr, kPlay, Flag(&Options::dynamicRangeTest)},
        {"--dynamic-range-amplitude", "A", kPlay,
         [](Options& o, const std::string& v) -> std::string {
             if (!ParseDouble(v, o.dynamicRangeAmplitude)) {
                 return NotNumber(v);
             }
             o.dynamicRangeTest = true;
             return {};
         }},
        {"--dynamic-range-frequency", "HZ", kPlay,
         [](Options& o, const std::string& v) -> std::string {
             if (!ParseDouble(v, o.dynamicRangeFrequency)) {
                 return NotNumber(v);
             }
             o.dynamicRangeTest = true;
             return {};
         }},
        {"--baseline-reset", "HZ", kPlay,
         [](Options& o, const std::string& v) -> std::string {
             long long n = 0;
             if (!ParseInteger(v, n)) {
                 return NotInteger(v);
             }
             o.baselineReset =
                 static_cast<int>(std::max<long long>(INT_MIN, std::min<long long>(INT_MAX, n)));
             return {};
         }},
        {"--signal", "N", kLoad | kAnalyze,
         [](Options& o, const std::string& v) -> std::string {
             if (!ParseInteger(v, o.edfSignal)) {
                 return NotInteger(v);
             }
             return {};
         }},
        {"--once", nullptr, kLoad, Flag(&Options::once)},
        // run, plan and analyze.
        {"--result", "FILE.json", kRun | kAnalyze, JsonFile(&Options::result)},
        {"--report", "FILE.json", kAnalyze, JsonFile(&Options::report)},
        {"--label", "NAME", kAnalyze,
         [](Options& o, const std::string& v) -> std::
                                                  string {
                                                      o.signalLabel = v;
                                                      return {};
                                                  }},
        {"--output", "FILE.json", kPlan, JsonFile(&Options::output)},
        {"--points", "LIST", kPlan,
         [](Options& o,
            const std::string& v) -> std::
                                      string {
                                          o.points.clear();
                                          size_t at = 0;
                                          while (at <= v.size()) {
                                              const size_t comma = std::min(v.find(',', at), v.size());
                                              double hz = 0;
                                              if (!ParseDouble(v.substr(at, comma - at), hz) || hz <= 0.0) {
                                                  return v +
                                                         ": not a comma-separated list of frequencies in Hz";
                                              }
                                              o.points.push_back(hz);
                                              at = comma + 1;
                                          }
                                          return {};
                                      }},
        {"--reference", "HZ", kPlan, Real(&Options::reference)},
        {"--settle", "SECONDS", kPlan, Real(&Options::settle)},
        {"--cycles", "N", kPlan, Whole(&Options::cycles)},
        {"--min-db", "DB", kPlan, Real(&Options::minDb)},
        {"--max-db", "DB", kPlan, Real(&Options::maxDb)},
    };
    return defs;
}

const OptionDef* FindOptionDef(const std::string& name) {
    for (const OptionDef& s : OptionDefs()) {
        if (name == s.name) {
            return &s;
        }
    }
    return nullptr;
}

// Positional arguments of each sub-command.
std::string TakePositional(Options& o) {
    const std::vector<std::string>& p = o.positional;
    auto given = [&](const std::string& name, const std::string& text) { o.given.push_back({name, text}); };
    switch (o.command) {
    case Command::List:
    case Command::Info:
        if (!p.empty()) {
            return std::string("unexpected argument ") + p[0];
        }
        return {};
    case Command::Play: {
        if (p.empty()) {
            return "play needs a FUNCTION (see qolt --help)";
        }
        o.function = FindFunction(p[0]);
        if (o.function == nullptr) {
            return "unknown function " + p[0] + " (see qolt --help)";
        }
        given("FUNCTION", p[0]);
        const size_t want = o.function->argument != nullptr ? 2 : 1;
        if (p.size() < want) {
            return std::string("play ") + o.function->name + " needs " + o.function->argument;
        }
        if (p.size() > want) {
            return "unexpected argument " + p[want];
        }
        if (want == 2) {
            long long n = 0;
            if (!ParseInteger(p[1], n)) {
                return std::string(o.function->argument) + " " + NotInteger(p[1]);
            }
            o.functionArgument = n;
            given(o.function->argument, p[1]);
        }
        return {};
    }
    case Command::Scan:
        if (p.empty() || (p[0] != "sine" && p[0] != "ecg")) {
            return "scan needs sine START STOP SECONDS, or ecg";
        }
        if (p[0] == "ecg") {
            if (p.size() > 1) {
                return "unexpected argument " + p[1];
            }
            o.function = FindFunction("ecg2-27");
            return {};
        }
        if (p.size() < 4) {
            return "scan sine needs START STOP SECONDS";
        }
        if (p.size() > 4) {
            return "unexpected argument " + p[4];
        }
        o.scanSine = true;
        o.function = FindFunction("sine");
        if (!ParseDouble(p[1], o.scanStart)) {
            return "START " + NotNumber(p[1]);
        }
        if (!ParseDouble(p[2], o.scanStop)) {
            return "STOP " + NotNumber(p[2]);
        }
        if (!ParseInteger(p[3], o.scanSeconds)) {
            return "SECONDS " + NotInteger(p[3]);
        }
        given("START", p[1]);
        given("STOP", p[2]);
        given("SECONDS", p[3]);
        return {};
    case Command::Load:
        if (p.empty()) {
            return "load needs a FILE (.txt, .bin or .edf)";
        }
        if (p.size() > 1) {
            return "unexpected argument " + p[1];
        }
        o.file = p[0];
        if (!EndsWith(o.file, ".txt") && !EndsWith(o.file, ".bin") && !EndsWith(o.file, ".edf")) {
            return o.file + ": the recording must be a .txt, .bin or .edf file";
        }
        given("FILE", p[0]);
        return {};
    case Command::Run:
    case Command::Plan:
    case Command::Analyze: {
        const char* what = o.command == Command::Run    ? "run needs a PLAN.json"
                           : o.command == Command::Plan ? "plan needs a KIND (frequency-response)"
                                                        : "analyze needs a RECORDING (.edf, .bdf or .csv)";
        if (p.empty()) {
            return what;
        }
        if (p.size() > 1) {
            return "unexpected argument " + p[1];
        }
        o.document = p[0];
        if (o.command == Command::Run && !EndsWith(o.document, ".json")) {
            return o.document + ": the plan must be a .json file";
        }
        if (o.command == Command::Plan && o.document != "frequency-response") {
            return "unknown plan " + o.document + " (frequency-response)";
        }
        if (o.command == Command::Analyze && !EndsWith(o.document, ".edf") && !EndsWith(o.document, ".bdf") &&
            !EndsWith(o.document, ".csv")) {
            return o.document + ": the recording must be an .edf, .bdf or .csv file";
        }
        if (o.command == Command::Analyze && !o.result) {
            return "analyze needs --result RESULT.json (what qolt run wrote)";
        }
        given(o.command == Command::Run ? "PLAN" : o.command == Command::Plan ? "KIND" : "RECORDING", p[0]);
        return {};
    }
    case Command::None:
        break;
    }
    return {};
}

} // namespace

const char* CommandName(Command command) {
    switch (command) {
    case Command::List:
        return "list";
    case Command::Info:
        return "info";
    case Command::Play:
        return "play";
    case Command::Scan:
        return "scan";
    case Command::Load:
        return "load";
    case Command::Run:
        return "run";
    case Command::Plan:
        return "plan";
    case Command::Analyze:
        return "analyze";
    case Command::None:
        break;
    }
    return "";
}

std::string Options::Typed(const std::string& name) const {
    for (auto it = given.rbegin(); it != given.rend(); ++it) {
        if (it->name == name) {
            return it->text;
        }
    }
    return {};
}

std::vector<OptionForm> OptionsOf(Command command) {
    std::vector<OptionForm> forms;
    for (const OptionDef& d : OptionDefs()) {
        if ((d.commands & MaskOf(command)) != 0) {
            forms.push_back({d.name, d.value});
        }
    }
    return forms;
}

ParseResult ParseCommandLine(int argc, const char* const* argv) {
    ParseResult result;
    Options& o = result.options;
    struct Pending {
        const OptionDef* def;
        std::string text;
    };
    std::vector<Pending> pending;
    // Known before anything else, so that errors anywhere on the line are reported as JSON too.
    for (int i = 1; i < argc && std::string(argv[i]) != "--"; ++i) {
        o.json = o.json || std::string(argv[i]) == "--json";
    }
    bool optionsEnded = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (!optionsEnded && arg == "--") {
            optionsEnded = true;
            continue;
        }
        if (!optionsEnded &&
            (arg == "-h" || arg == "--help" || (arg == "help" && o.command == Command::None))) {
            o.help = true;
            continue;
        }
        if (!optionsEnded && arg == "--version") {
            o.version = true;
            continue;
        }
        if (optionsEnded || arg.size() < 2 || arg[0] != '-' ||
            (arg[1] != '-' && (std::isdigit(static_cast<unsigned char>(arg[1])) || arg[1] == '.'))) {
            if (o.command == Command::None) {
                if (arg == "list") {
                    o.command = Command::List;
                } else if (arg == "info") {
                    o.command = Command::Info;
                } else if (arg == "play") {
                    o.command = Command::Play;
                } else if (arg == "scan") {
                    o.command = Command::Scan;
                } else if (arg == "load") {
                    o.command = Command::Load;
                } else if (arg == "run") {
                    o.command = Command::Run;
                } else if (arg == "plan") {
                    o.command = Command::Plan;
                } else if (arg == "analyze") {
                    o.command = Command::Analyze;
                } else {
                    result.error = "unknown command " + arg + " (see qolt --help)";
                    return result;
                }
            } else {
                o.positional.push_back(arg);
            }
            continue;
        }
        std::string name = arg;
        std::string value;
        bool hasValue = false;
        const size_t eq = arg.find('=');
        if (eq != std::string::npos) {
            name = arg.substr(0, eq);
            value = arg.substr(eq + 1);
            hasValue = true;
        }
        const OptionDef* def = FindOptionDef(name);
        if (def == nullptr) {
            result.error = "unknown option " + name + " (see qolt --help)";
            return result;
        }
        if (def->value == nullptr) {
            if (hasValue) {
                result.error = name + " takes no value";
                return result;
            }
        } else if (!hasValue) {
            if (i + 1 >= argc) {
                result.error = name + " needs a value " + def->value;
                return result;
            }
            value = argv[++i];
        }
        pending.push_back({def, value});
    }

    if (o.help || o.version) {
        return result;
    }
    if (o.command == Command::None) {
        result.error =
            "no command given (list, info, play, scan, load, run, plan or analyze; see qolt --help)";
        return result;
    }
    for (const Pending& p : pending) {
        if ((p.def->commands & MaskOf(o.command)) == 0) {
            result.error = std::string(p.def->name) + " does not apply to " + CommandName(o.command);
            return result;
        }
        const std::string error = p.def->store(o, p.text);
        if (!error.empty()) {
            result.error = std::string(p.def->name) + " " + error;
            return result;
        }
        o.given.push_back({p.def->name, p.text});
    }
    const std::string error = TakePositional(o);
    if (!error.empty()) {
        result.error = error;
        return result;
    }
    if (o.noiseAmplitude && !o.noise) {
        result.error = "--noise-amplitude needs --noise 50 or --noise 60";
    } else if (o.fast && !o.virtualInstrument) {
        result.error = "--fast needs --virtual";
    } else if ((!o.captures.empty() || o.plot) && !o.virtualInstrument && o.command != Command::Analyze) {
        result.error = std::string(o.plot && o.captures.empty() ? "--plot" : "--capture") +
                       " needs --virtual (it records what the virtual instrument played)";
    } else if ((o.firmware || o.enhancedModel || o.unplugAfterPackets) && !o.virtualInstrument) {
        result.error = "--model, --firmware and --unplug-after-packets need --virtual";
    } else if (o.virtualInstrument && (o.nodeFormat || o.lockDirectory)) {
        result.error = "--node-format and --lock-dir do not go with --virtual";
    }
    return result;
}

} // namespace qoltcli
