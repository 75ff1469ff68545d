// Binary recordings: our loader against a direct decoding of the bytes, with the file's size known and
// unknown.
#include "fuzz/FuzzFiles.h"
#include "playback/RecordingLoaders.h"
#include "playback/RecordingPublish.h"
#include "synth/PlaybackBuffer.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

void CheckLoad(FILE* f, const uint8_t* data, size_t size) {
    _PublishRecording(nullptr, 0, nullptr, nullptr);
    const int code = _LoadBinaryRecording(f);
    FUZZ_CHECK(g_nECGFileSize >= 0 && (g_pECGFile != nullptr || g_nECGFileSize == 0));
    if (size < 2 || (data[0] | data[1]) == 0) {
        FUZZ_CHECK(code == -2);
        return;
    }
    if (size < 6) {
        FUZZ_CHECK(code == -3);
        return;
    }
    const auto n = static_cast<int32_t>((uint32_t(data[2]) << 24) | (uint32_t(data[3]) << 16) |
                                        (uint32_t(data[4]) << 8) | data[5]);
    if (n == 0) {
        FUZZ_CHECK(code == -3);
        return;
    }
    if (n < 0) {
        FUZZ_CHECK(code == -4 && g_pECGFile == nullptr);
        return;
    }
    const size_t count = std::min<size_t>(static_cast<size_t>(n), (size - 6) / 2);
    FUZZ_CHECK(code == static_cast<int>(count) && g_nECGFileSize == code);
    FUZZ_CHECK(g_fECGFileFreq == static_cast<double>((data[0] << 8) | data[1]));
    double peak = 0;
    for (size_t i = 0; i < count; ++i) {
        const double v =
            static_cast<int16_t>(static_cast<uint16_t>((data[6 + 2 * i] << 8) | data[7 + 2 * i]));
        peak = std::max(peak, std::fabs(v));
        FUZZ_CHECK(g_pECGFile[i] == std::clamp(v, -5000.0, 5000.0));
    }
    FUZZ_CHECK(g_fECGFileMax == std::min(peak / 1000, 5.0));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static FuzzFile file;
    file.Set(data, size);
    CheckLoad(file.Open(), data, size);
    if (size > 0) {
        CheckLoad(OpenUnsized(data, size), data, size);
    }
    return 0;
}
