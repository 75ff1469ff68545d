// Loads a recording into the library's playback buffer with the loader its extension names (.txt, .bin,
// .edf), and explains the loader's code when it fails.
#pragma once

#include <optional>
#include <string>

namespace qoltcli {

struct LoadResult {
    int code = 0;        // the loader's result: samples loaded, or a negative code
    std::string loader;  // "LoadEEGtxt" ...
    std::string problem; // empty on success; otherwise what went wrong, in words
    // The recording's own length (samples over the file's rate), when the file's rate could be read here.
    std::optional<double> seconds;
};

LoadResult LoadRecording(const std::string& path, int signal);

} // namespace qoltcli
