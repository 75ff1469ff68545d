// Whole EDF files: both headers, every signal's values read through positioned reads and through a stream
// that cannot seek (the two must agree), and the EDF loader on top.
#include "fuzz/FuzzFiles.h"
#include "playback/EDFFile.h"
#include "playback/RecordingLoaders.h"
#include "synth/PlaybackBuffer.h"

#include <cmath>
#include <cstring>

namespace {

// Bounds the work per input: a hostile header may ask for a whole record of zeros per signal.
const int64_t kMaxSamplesPerSignal = 1 << 20;

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static FuzzFile file;
    file.Set(data, size);

    EDFFile sized;
    const bool opened = sized.readStream(file.Open());
    EDFFile unsized;
    const bool streamOpened = unsized.readStream(OpenUnsized(data, size));
    FUZZ_CHECK(opened == streamOpened || size == 0);
    if (!opened) {
        return 0;
    }
    const EDFHeader& h = sized.m_Header;
    FUZZ_CHECK(h.m_nNumberOfSignals > 0 && h.m_nNumberOfSignals <= EDFHeader::MaxSignals);
    FUZZ_CHECK(h.m_nNumberOfDataRecords > 0 && h.m_fDurationOfDataRecord > 0.0 &&
               std::isfinite(h.m_fDurationOfDataRecord));
    for (int s = 0; s < h.m_nNumberOfSignals; ++s) {
        FUZZ_CHECK(h.m_pSignals[s] != nullptr && h.m_pSignals[s]->m_nNumberOfSamplesInDataRecord >= 0);
        if (h.m_pSignals[s]->m_nNumberOfSamplesInDataRecord > kMaxSamplesPerSignal) {
            continue;
        }
        float* a = nullptr;
        float* b = nullptr;
        const int na = sized.retrieveSignalSampleValues(s, a);
        const int nb = unsized.retrieveSignalSampleValues(s, b);
        FUZZ_CHECK(na == nb);
        FUZZ_CHECK(na != 0 || a == nullptr);
        if (na > 0) {
            FUZZ_CHECK(std::memcmp(a, b, static_cast<size_t>(na) * sizeof(float)) == 0);
            for (int i = 0; i < na; ++i) {
                FUZZ_CHECK(std::isfinite(a[i]));
            }
        }
        std::free(a);
        std::free(b);
    }

    const int signal = size > 0 ? data[size - 1] % (h.m_nNumberOfSignals + 1) : 0;
    if (signal >= h.m_nNumberOfSignals ||
        h.m_pSignals[signal]->m_nNumberOfSamplesInDataRecord <= kMaxSamplesPerSignal) {
        const int result = _LoadEDFRecording(file.Open(), signal);
        FUZZ_CHECK(result >= -4 && result != -3);
        FUZZ_CHECK(g_nECGFileSize >= 0 && (g_pECGFile != nullptr || g_nECGFileSize == 0));
        if (result >= 0) {
            FUZZ_CHECK(g_nECGFileSize == result && g_fECGFileFreq > 0.0 && std::isfinite(g_fECGFileFreq));
        }
    }
    return 0;
}
