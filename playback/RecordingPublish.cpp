#include "playback/RecordingPublish.h"

#include "synth/PlaybackBuffer.h"

#include <cstdlib>

std::mutex g_RecordingLoadMutex;

void _PublishRecording(double* samples, int count, const double* rate, const double* peak) {
    double* old = nullptr;
    {
        // NOT YET LOCKED: this exchange belongs under g_APICriticalSection, the lock the poll thread holds
        // while it builds a packet, so that a packet never sees a new pointer with an old count. That lock is
        // defined by the session layer (api/SessionSync.h), which this branch does not have yet.
        old = g_pECGFile;
        g_pECGFile = samples;
        g_nECGFileSize = samples != nullptr ? count : 0;
        if (rate != nullptr) {
            g_fECGFileFreq = *rate;
        }
        if (peak != nullptr) {
            g_fECGFileMax = *peak;
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
