// Exit codes of the command-line tools (documented in `qolt --help`).
#pragma once

namespace qoltcli {

enum ExitCode : int {
    kExitOk = 0,             // done (also after Ctrl-C, SIGTERM or the end of a scan or a single playback)
    kExitFailure = 1,        // the run failed (a library call failed, the link could not be used), or a step
                             // of an analysis failed its limits
    kExitUsage = 2,          // the command line is wrong (unknown command or option, missing or bad value)
    kExitRefused = 3,        // the library refused an argument (out of its range, or not in this state)
    kExitNoInstrument = 4,   // no instrument found within the time-out
    kExitFileUnreadable = 5, // a recording could not be loaded
    kExitOutputFile = 6,     // a capture or plot could not be written
    kExitVirtual = 7,        // the virtual instrument could not be started
    kExitDocument = 8,       // a plan or a run's result is not usable (run, analyze)
    kExitAnalysis = 9,       // the recording cannot be analysed: no marker, too short (analyze)
};

} // namespace qoltcli
