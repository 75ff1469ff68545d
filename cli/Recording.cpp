#include "Recording.h"

#include "qolt_api.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <strings.h>
#include <vector>

namespace qoltcli {

namespace {

bool EndsWith(const std::string& text, const char* suffix) {
    const size_t n = std::strlen(suffix);
    return text.size() > n && strcasecmp(text.c_str() + text.size() - n, suffix) == 0;
}

} // namespace

std::string ExplainLoaderCode(const std::string& loader, int code, int signal) {
    const bool text = loader == "LoadEEGtxt";
    const bool edf = loader == "LoadEEGedf";
    switch (code) {
    case -1:
        return edf ? "the file cannot be opened or is not a valid EDF/EDF+ file (header or signal headers "
                     "short "
                     "or invalid)"
                   : "the file cannot be opened";
    case -2:
        if (edf) {
            return "the file has no signal " + std::to_string(signal) +
                   " (signals count from 0), or its sample rate comes to less than 1 per second";
        }
        return text ? "the first line (the sample rate) is missing or not a number above 0"
                    : "the file is shorter than 2 bytes or its sample rate is 0";
    case -3:
        return text ? "the second line (the sample count) is missing or 0"
                    : "the file is shorter than 6 bytes or its sample count is 0";
    case -4:
        return edf ? "the signal has too many samples, or there is not enough memory"
                   : "the sample count is negative, or there is not enough memory";
    case 0:
        return "the file holds no samples";
    default:
        return "unexpected result " + std::to_string(code);
    }
}

LoadResult LoadRecording(const std::string& path, int signal) {
    LoadResult result;
    // The library turns the wide path back into the locale's multibyte form.
    std::mbstate_t state{};
    const char* src = path.c_str();
    const size_t length = std::mbsrtowcs(nullptr, &src, 0, &state);
    if (length == static_cast<size_t>(-1)) {
        result.code = -1;
        result.problem = "the file name is not valid in this locale's character set";
        return result;
    }
    std::vector<wchar_t> wide(length + 1, L'\0');
    src = path.c_str();
    state = std::mbstate_t{};
    std::mbsrtowcs(wide.data(), &src, length + 1, &state);

    if (EndsWith(path, ".txt")) {
        result.loader = "LoadEEGtxt";
        result.code = LoadEEGtxt(wide.data());
    } else if (EndsWith(path, ".bin")) {
        result.loader = "LoadEEGbin";
        result.code = LoadEEGbin(wide.data());
    } else {
        result.loader = "LoadEEGedf";
        result.code = LoadEEGedf(wide.data(), signal);
    }
    if (result.code <= 0) {
        result.problem = ExplainLoaderCode(result.loader, result.code, signal);
    }
    return result;
}

} // namespace qoltcli
