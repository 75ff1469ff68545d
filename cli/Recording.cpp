#include "Recording.h"

#include "qolt_api.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <fcntl.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace qoltcli {

namespace {

bool EndsWith(const std::string& text, const char* suffix) {
    const size_t n = std::strlen(suffix);
    return text.size() > n && strcasecmp(text.c_str() + text.size() - n, suffix) == 0;
}

std::string ExplainLoaderCode(const std::string& loader, int code, int signal) {
    const bool text = loader == "LoadEEGtxt";
    const bool edf = loader == "LoadEEGedf";
    switch (code) {
    case -1:
        return edf ? "the file is not a valid EDF/EDF+ file (header or signal headers short or invalid)"
                   : "the file cannot be opened";
    case -2:
        if (edf) {
            return "the file has no signal " + std::to_string(signal) +
                   " (signals count from 0), or the signal has no samples per record";
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

std::string WhyNotOpened(const std::string& path) {
    struct stat st {};
    if (stat(path.c_str(), &st) != 0) {
        return std::string("the file cannot be opened: ") + std::strerror(errno);
    }
    if (!S_ISREG(st.st_mode)) {
        const char* what = S_ISDIR(st.st_mode)    ? "a folder"
                           : S_ISFIFO(st.st_mode) ? "a FIFO"
                           : S_ISCHR(st.st_mode)  ? "a character device"
                           : S_ISBLK(st.st_mode)  ? "a block device"
                           : S_ISSOCK(st.st_mode) ? "a socket"
                                                  : "something else";
        return std::string("the path is ") + what + ", not a regular file";
    }
    const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        return std::string("the file cannot be opened: ") + std::strerror(errno);
    }
    close(fd);
    return {};
}

std::optional<double> RecordingRate(const std::string& path, const std::string& loader, int signal) {
    FILE* f = std::fopen(path.c_str(), "rb");
    if (f == nullptr) {
        return std::nullopt;
    }
    std::vector<char> head(loader == "LoadEEGedf" ? 256 : 128, '\0');
    const size_t got = std::fread(head.data(), 1, head.size(), f);
    double rate = 0.0;
    if (loader == "LoadEEGtxt") {
        rate = std::strtod(std::string(head.data(), got).c_str(), nullptr);
    } else if (loader == "LoadEEGbin") {
        rate = got >= 2 ? static_cast<unsigned char>(head[0]) * 256.0 + static_cast<unsigned char>(head[1])
                        : 0.0;
    } else if (got == head.size()) {
        // Samples per record of the signal over the record's duration in seconds.
        const double duration = std::strtod(std::string(head.data() + 244, 8).c_str(), nullptr);
        const long signals = std::strtol(std::string(head.data() + 252, 4).c_str(), nullptr, 10);
        // The samples-per-record fields follow eight fields of 16+80+8+8+8+8+8+80 bytes per signal.
        const long offset = 256 + signals * 216 + static_cast<long>(signal) * 8;
        char field[9] = {};
        if (signals > 0 && signal >= 0 && signal < signals && std::fseek(f, offset, SEEK_SET) == 0 &&
            std::fread(field, 1, 8, f) == 8 && duration > 0.0) {
            rate = std::strtod(field, nullptr) / duration;
        }
    }
    std::fclose(f);
    if (!(rate > 0.0) || !std::isfinite(rate)) {
        return std::nullopt;
    }
    return rate;
}

} // namespace

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
    if (result.code == -1) {
        // One code for both: the file itself tells whether it could be opened at all.
        result.problem = WhyNotOpened(path);
    }
    if (result.problem.empty() && result.code <= 0) {
        result.problem = ExplainLoaderCode(result.loader, result.code, signal);
    }
    if (result.code > 0) {
        if (const std::optional<double> rate = RecordingRate(path, result.loader, signal)) {
            result.seconds = result.code / *rate;
        }
    }
    return result;
}

} // namespace qoltcli
