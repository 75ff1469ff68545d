#pragma once

#include <string>
#include <vector>

namespace qoltcli {

// The library's connection report (GetConnectionReport) as lines, one per port tried; a line that says
// the node could not be opened for lack of permission gets `permissionHint` after it.
std::vector<std::string> ConnectionReportLines(const char* permissionHint);

} // namespace qoltcli
