#include "playback/EDFFile.h"
#include "playback/RecordingLoaders.h"
#include "playback/RecordingPublish.h"

#include <climits>
#include <cmath>

namespace {

int LoadEDF(FILE* file, int signal) {
    EDFFile edf; // owns the file from here on, and closes it
    if (!edf.readStream(file)) {
        return -1;
    }
    if (signal < 0 || signal >= edf.m_Header.m_nNumberOfSignals) {
        return -2;
    }
    // Nothing cut off: 30 samples per 1.5 s record play at 20 per second, 1000 per 3 s at 333.33.
    const int samplesPerRecord = edf.m_Header.m_pSignals[signal]->m_nNumberOfSamplesInDataRecord;
    const double rate = samplesPerRecord / edf.m_Header.m_fDurationOfDataRecord;
    if (!(rate > 0.0) || !std::isfinite(rate)) {
        return -2;
    }
    if (edf.announcedSampleCount(signal) > INT_MAX) {
        _EmptyRecording();
        return -4;
    }
    double* values = nullptr;
    const int count = edf.retrieveSignalSampleValues(signal, values, &_EmptyRecording);
    if (count < 0) {
        _EmptyRecording();
        return -4;
    }
    // The peak stays as the last text or binary load left it.
    _PublishRecording(values, count, &rate, nullptr);
    return count;
}

} // namespace

int _LoadEDFRecording(FILE* file, int signal) {
    if (file == nullptr) {
        return -1;
    }
    try {
        return LoadEDF(file, signal);
    } catch (...) {
        _EmptyRecording();
        return -4;
    }
}
