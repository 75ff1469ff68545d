// Loads a recording into the library's playback buffer with the loader its extension names (.txt, .bin,
// .edf), and explains the loader's code when it fails.
#pragma once

#include <string>

namespace qoltcli {

struct LoadResult {
    int code = 0;        // the loader's result: samples loaded, or a negative code
    std::string loader;  // "LoadEEGtxt" ...
    std::string problem; // empty on success; otherwise what went wrong, in words
};

LoadResult LoadRecording(const std::string& path, int signal);

// What a loader's negative code means.
std::string ExplainLoaderCode(const std::string& loader, int code, int signal);

} // namespace qoltcli
