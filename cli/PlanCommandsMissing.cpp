// The plan commands of a `qolt` built without nlohmann-json or EDFlib (a plain configure on a bare machine):
// the rest of the tool works; these say what is missing instead of leaving the command unknown.
#include "ExitCodes.h"
#include "PlanCommands.h"

namespace qoltcli {
namespace {
int Missing(const Reporter& reporter) {
    return reporter.Fail(kExitUsage,
                         "this qolt was built without nlohmann-json and EDFlib (nlohmann-json3-dev, "
                         "libedf-dev): run, plan and analyze are not available");
}
} // namespace

int RunPlanCommand(const Options& /*options*/, const Reporter& reporter, const StopSignal& /*stop*/) {
    return Missing(reporter);
}

int WritePlanCommand(const Options& /*options*/, const Reporter& reporter) {
    return Missing(reporter);
}

int AnalyzeCommand(const Options& /*options*/, const Reporter& reporter) {
    return Missing(reporter);
}

} // namespace qoltcli
