// `qolt run PLAN.json`, `qolt plan frequency-response` and `qolt analyze RECORDING --result RESULT.json`.
// Each returns the process's exit code (ExitCodes.h).
#pragma once

#include "Options.h"
#include "Report.h"
#include "StopSignal.h"

namespace qoltcli {

// Runs a plan's steps in order on one session and writes the result document.
int RunPlanCommand(const Options& options, const Reporter& reporter, const StopSignal& stop);
// Writes a ready plan.
int WritePlanCommand(const Options& options, const Reporter& reporter);
// Analyses a device's recording of a run: exit 0 when every judged step passes, 1 when one fails.
int AnalyzeCommand(const Options& options, const Reporter& reporter);

} // namespace qoltcli
