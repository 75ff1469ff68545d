// The sub-commands. Each returns the process's exit code (ExitCodes.h).
#pragma once

#include "Options.h"
#include "Report.h"
#include "StopSignal.h"

namespace qoltcli {

int RunList(const Options& options, const Reporter& reporter);
int RunInfo(const Options& options, const Reporter& reporter);
// play, scan and load: set up, start the output, run until the duration, the end of the output or a stop
// signal, close, then write the captures.
int RunOutput(const Options& options, const Reporter& reporter, const StopSignal& stop);

} // namespace qoltcli
