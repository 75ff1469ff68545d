#pragma once

// The library's own release number (from VERSION), distinct from the SDK version the instrument
// interface reports.
const char* QoltLibraryVersion();
