// Text recordings: our loader against a plain reference built on fgets and strtod (the C locale of the
// fuzzer), with the file's size known and unknown; then the UTF-16 reading for its invariants.
#include "fuzz/FuzzFiles.h"
#include "playback/RecordingLoaders.h"
#include "playback/RecordingPublish.h"
#include "synth/PlaybackBuffer.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <vector>

namespace {

struct Result {
    int code = 0;
    std::vector<double> values;
    double rate = 0;
    double max = 0;
};

Result Reference(const uint8_t* data, size_t size) {
    Result r;
    FILE* f = OpenUnsized(data, size);
    char line[128];
    if (f == nullptr || std::fgets(line, sizeof(line), f) == nullptr) {
        r.code = -2;
    } else if (r.rate = std::strtod(line, nullptr), !(r.rate > 0) || !std::isfinite(r.rate)) {
        r.code = -2;
    } else if (std::fgets(line, sizeof(line), f) == nullptr) {
        r.code = -3;
    } else {
        const long long n = std::strtoll(line, nullptr, 10);
        if (n == 0) {
            r.code = -3;
        } else if (n < 0) {
            r.code = -4;
        } else {
            const long long limit = std::min<long long>(n, INT_MAX);
            double peak = 0;
            while (static_cast<long long>(r.values.size()) < limit &&
                   std::fgets(line, sizeof(line), f) != nullptr) {
                double v = std::strtod(line, nullptr);
                if (std::isnan(v)) {
                    v = 0;
                }
                peak = std::max(peak, std::fabs(v));
                r.values.push_back(std::clamp(v, -5000.0, 5000.0));
            }
            r.max = std::min(peak / 1000, 5.0);
            r.code = static_cast<int>(r.values.size());
        }
    }
    if (f != nullptr) {
        std::fclose(f);
    }
    return r;
}

// Loads, and reads back what a successful load published.
Result Load(FILE* f, bool utf16) {
    _PublishRecording(nullptr, 0, nullptr, nullptr);
    Result r;
    r.code = _LoadTextRecording(f, utf16);
    FUZZ_CHECK(g_nECGFileSize >= 0 && (g_pECGFile != nullptr || g_nECGFileSize == 0));
    if (r.code >= 0) {
        FUZZ_CHECK(g_nECGFileSize == r.code);
        r.values.assign(g_pECGFile, g_pECGFile + g_nECGFileSize);
        r.rate = g_fECGFileFreq;
        r.max = g_fECGFileMax;
    }
    return r;
}

bool Same(const Result& a, const Result& b) {
    if (a.code != b.code) {
        return false;
    }
    if (a.code < 0) {
        return true;
    }
    return a.values == b.values && a.rate == b.rate && a.max == b.max;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static FuzzFile file;
    file.Set(data, size);
    const Result expected = Reference(data, size);
    FUZZ_CHECK(Same(Load(file.Open(), false), expected));
    if (size > 0) {
        FUZZ_CHECK(Same(Load(OpenUnsized(data, size), false), expected));
    }
    const Result wide = Load(file.Open(), true);
    for (double v : wide.values) {
        FUZZ_CHECK(v >= -5000 && v <= 5000);
    }
    FUZZ_CHECK(wide.code < 0 ||
               (wide.rate > 0 && std::isfinite(wide.rate) && wide.max >= 0 && wide.max <= 5.0));
    return 0;
}
