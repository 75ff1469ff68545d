// The `qolt` command line: sub-command, positional arguments and options, parsed and checked for form
// (numbers are numbers, files have known extensions); whether a value is in range is the library's call.
#pragma once

#include "Functions.h"

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace qoltcli {

enum class Command { None, List, Info, Play, Scan, Load, Run, Plan, Analyze };

// What was typed for an option or argument, for messages: ("--amplitude", "3000").
struct Given {
    std::string name;
    std::string text;
};

struct Options {
    Command command = Command::None;
    std::vector<std::string> positional;
    bool help = false;
    bool version = false;

    // Connection.
    bool json = false;
    bool virtualInstrument = false;
    bool fast = false;
    std::optional<int> port;
    double timeoutSeconds = 5.0;
    std::optional<std::string> nodeFormat;
    std::optional<std::string> lockDirectory;

    // The in-process virtual instrument.
    bool enhancedModel = false;
    std::optional<std::pair<int, int>> firmware;
    std::optional<long long> unplugAfterPackets;
    long long replugAfterMs = 500;

    // Output runs.
    std::optional<double> duration;
    std::vector<std::string> captures;
    std::optional<std::string> plot;

    // Settings; each applied only when given.
    std::optional<double> amplitude, frequency, pulseWidth;
    std::optional<double> qrs, tWave;
    std::optional<int> noise; // 50 or 60 (Hz)
    std::optional<double> noiseAmplitude;
    bool drift = false;
    std::optional<std::vector<int>> leads;
    std::optional<bool> impedanceMode;
    std::optional<long long> dcOffset;
    bool dcVariable = false, dcCommon = false;
    std::optional<double> pacingAmplitude, pacingDuration;
    std::optional<long long> pacingRate;
    std::optional<int> pacingPattern;
    std::optional<long long> overshootTime;
    std::optional<double> overshootAmplitude;
    bool dynamicRangeTest = false;
    double dynamicRangeAmplitude = 1.0, dynamicRangeFrequency = 40.0;
    std::optional<int> baselineReset; // Hz: 50, 60, 80 or 100

    // play: the function and its argument; scan: sine (with start, stop, seconds) or ecg.
    const FunctionInfo* function = nullptr;
    std::optional<long long> functionArgument;
    bool scanSine = false;
    double scanStart = 0.0, scanStop = 0.0;
    long long scanSeconds = 0;

    // load
    std::string file;
    long long edfSignal = 0;
    bool once = false;

    // run PLAN, plan KIND, analyze RECORDING (PlanCommands.h).
    std::string document;                   // the plan file, the kind of plan, or the recording
    std::optional<std::string> result;      // run: where its result goes; analyze: the run's result to read
    std::optional<std::string> report;      // analyze: the JSON report
    std::optional<std::string> output;      // plan: the plan file (default: stdout)
    std::optional<std::string> signalLabel; // analyze: the recording's signal by its label
    std::vector<double> points;             // plan: the frequencies (Hz)
    std::optional<double> reference, settle, minDb, maxDb;
    std::optional<long long> cycles;

    std::vector<Given> given; // options and arguments as typed, in order

    // The text typed for an option or argument ("" when not given).
    std::string Typed(const std::string& name) const;
};

struct ParseResult {
    Options options;
    std::string error; // empty when the command line is usable
};

ParseResult ParseCommandLine(int argc, const char* const* argv);

// The options a command takes, by name ("--amplitude"), with the form of their value (null for a flag).
struct OptionForm {
    std::string name;
    const char* value;
};
std::vector<OptionForm> OptionsOf(Command command);

const char* CommandName(Command command);

} // namespace qoltcli
