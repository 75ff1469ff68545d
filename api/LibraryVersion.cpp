#include "api/LibraryVersion.h"

#include "qolt_version.h"

const char* QoltLibraryVersion() { return QOLT_LIBRARY_VERSION; }
