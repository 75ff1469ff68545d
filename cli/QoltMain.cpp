// qolt: the command-line tool on top of libqolt's public interface.
#include "Commands.h"
#include "ExitCodes.h"
#include "Help.h"
#include "Options.h"
#include "PlanCommands.h"
#include "Report.h"
#include "StopSignal.h"

#include "qolt_api.h"

#include <clocale>
#include <cstdio>

int main(int argc, char** argv) {
    using namespace qoltcli;
    // File names go to the loaders as wide strings and back through the locale's character set; numbers
    // keep the C locale.
    std::setlocale(LC_CTYPE, "");

    const ParseResult parsed = ParseCommandLine(argc, argv);
    const Options& options = parsed.options;
    const Reporter reporter("qolt", options.json);
    if (options.help) {
        PrintHelp(stdout);
        return kExitOk;
    }
    if (options.version) {
        std::printf("qolt, libqolt %s (interface %s)\n", GetLibraryVersion(), GetSDKVersion());
        return kExitOk;
    }
    if (!parsed.error.empty()) {
        return reporter.Fail(kExitUsage, parsed.error);
    }

    // Before any thread exists, so that every thread inherits the blocked signals.
    StopSignal stop;
    if (!stop.Start()) {
        return reporter.Fail(kExitFailure, "cannot set up signal handling");
    }
    int rc = kExitOk;
    switch (options.command) {
    case Command::List:
        rc = RunList(options, reporter);
        break;
    case Command::Info:
        rc = RunInfo(options, reporter);
        break;
    case Command::Play:
    case Command::Scan:
    case Command::Load:
        rc = RunOutput(options, reporter, stop);
        break;
    case Command::Run:
        rc = RunPlanCommand(options, reporter, stop);
        break;
    case Command::Plan:
        rc = WritePlanCommand(options, reporter);
        break;
    case Command::Analyze:
        rc = AnalyzeCommand(options, reporter);
        break;
    case Command::None:
        break;
    }
    stop.Stop();
    return rc;
}
