// The text of `qolt --help`, exit codes included.
#pragma once

#include <cstdio>

namespace qoltcli {

void PrintHelp(FILE* out);

} // namespace qoltcli
