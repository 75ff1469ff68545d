#include "playback/RecordingPublish.h"

#include "core/SessionSync.h"
#include "stream/Change.h"
#include "synth/PlaybackBuffer.h"
#include "synth/WaveformSettings.h"

#include <cstdlib>

std::mutex g_RecordingLoadMutex;

void _PublishRecording(double* samples, int count, const double* rate, const double* peak) {
    double* old = nullptr;
    {
        // The packet builder reads the buffer under this lock: it sees the old recording or the new one,
        // never a new pointer with an old count. Only the exchange is locked, not the reading of the file.
        CAutoCriticalSection lock(g_APICriticalSection);
        old = g_pECGFile;
        g_pECGFile = samples;
        g_nECGFileSize = samples != nullptr ? count : 0;
        if (rate != nullptr) {
            g_fECGFileFreq = *rate;
        }
        if (peak != nullptr) {
            g_fECGFileMax = *peak;
        }
        // A playback in force starts again with the new recording: from its first sample, with its own
        // length and rate as the period (and its peak as the range).
        if (g_MainOutput == 13) {
            Change();
        }
    }
    // Nothing reads the old array once the exchange is done: free it outside the lock.
    if (old != samples) {
        std::free(old);
    }
}

void _EmptyRecording() {
    _PublishRecording(nullptr, 0, nullptr, nullptr);
}
