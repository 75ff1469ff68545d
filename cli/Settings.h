// Puts the command line's settings into the library, in an order the library accepts: the settings that
// only store values first (so that the output starts with them), then the output itself, then what needs
// the output selected (noise, tests). The first refusal ends it.
#pragma once

#include "Options.h"
#include "Refusal.h"

#include <optional>

namespace qoltcli {

std::optional<Refusal> ApplyBeforeOutput(const Options& options);
std::optional<Refusal> StartOutput(const Options& options);
std::optional<Refusal> ApplyAfterOutput(const Options& options);

} // namespace qoltcli
