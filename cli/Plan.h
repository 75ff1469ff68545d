// A test plan: a JSON document with a list of steps, each naming what `qolt play`, `qolt scan` or
// `qolt load` would, with the same option names, plus its duration, the settle time before its
// measurement window, a label and optional limits. Parsed and checked whole before anything is played;
// a refusal names the step, the key and what is allowed. docs/plans.md describes the format.
#pragma once

#include "Options.h"
#include "analysis/Response.h"

#include <nlohmann/json.hpp>

#include <string>
#include <vector>

namespace qoltcli {

using PlanJson = nlohmann::ordered_json;

struct PlanStep {
    std::string label;
    bool marker = false;
    Options options;         // what the equivalent command line gives
    std::string commandLine; // "play sine --frequency 10 --amplitude 1000"
    double duration = 0.0;   // seconds of output
    double settle = 0.0;     // seconds before the measurement window
    std::vector<qoltanalysis::Limit> limits;

    bool IsSine() const; // play sine: measured by a sine fit
};

struct Plan {
    PlanJson document;
    std::string name;
    std::vector<PlanStep> steps;
    int reference = -1; // index of the step responses are relative to, -1: none

    double Seconds() const;
};

// Reads a JSON file; false with `error` (where and what) when it cannot be read or parsed.
bool ReadJsonFile(const std::string& path, PlanJson& document, std::string& error);
// Checks a plan document; `baseDir` resolves relative recording paths of load steps, which must be readable
// when `checkFiles`. False with `error` ("step 3 (\"10 Hz\"): ...") for the first problem.
bool ParsePlan(const PlanJson& document, const std::string& baseDir, Plan& plan, std::string& error,
               bool checkFiles = true);
bool ReadPlanFile(const std::string& path, Plan& plan, std::string& error);

// Options a plan step may not set: they belong to the whole run (connection, captures) or are step keys.
bool RunWideOption(const std::string& name);

// The version of plan and result documents this tool writes and reads.
constexpr int kPlanFormatVersion = 1;

} // namespace qoltcli
