// Short text for one message the host sent, as it appears in captures: "range 5", "relays 0x000020",
// "variable-dc-offset 3048", "stop-stream" ... with " (malformed)" or " (incomplete)" when it was.
#pragma once

#include "sim/Records.h"

#include <string>

namespace qoltsim {

std::string CommandText(const CommandRecord& command);

} // namespace qoltsim
