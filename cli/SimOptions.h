// The `qolt-sim` command line: where to serve, what the virtual instrument says it is, which faults it
// plays, when to end and what to write at the end.
#pragma once

#include "sim/VirtualInstrument.h"

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace qoltcli {

struct SimFault {
    qoltsim::MessageKind message;
    qoltsim::Fault fault;
};

struct SimOptions {
    bool help = false;
    bool version = false;
    bool json = false;
    std::string directory; // empty: a fresh one, removed at the end
    qoltsim::Config config;
    std::vector<SimFault> faults;
    bool silent = false;
    std::optional<long long> unplugAfterPackets;
    long long replugAfterMs = 500;
    std::optional<double> duration;
    bool exitOnClose = false;
    std::vector<std::string> captures; // .edf, .csv
    std::optional<std::string> plot;   // .svg
    std::optional<std::string> readyFile;
};

struct SimParseResult {
    SimOptions options;
    std::string error;
};

SimParseResult ParseSimCommandLine(int argc, const char* const* argv);

void PrintSimHelp(FILE* out);

} // namespace qoltcli
