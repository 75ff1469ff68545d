#include "playback/EDFFile.h"
#include "playback/RecordingLoaders.h"
#include "playback/RecordingPublish.h"

#include <climits>

namespace {

int LoadEDF(FILE* file, int signal) {
    EDFFile edf; // owns the file from here on, and closes it
    if (!edf.readStream(file)) {
        return -1;
    }
    if (signal < 0 || signal >= edf.m_Header.m_nNumberOfSignals) {
        return -2;
    }
    // Whole samples per whole second of record: a rate that truncates to 0 cannot be played.
    const int samplesPerRecord = edf.m_Header.m_pSignals[signal]->m_nNumberOfSamplesInDataRecord;
    const int rate = samplesPerRecord / edf.m_Header.m_nDurationOfDataRecord;
    if (rate == 0) {
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
    const double fileRate = rate;
    // The peak stays as the last text or binary load left it.
    _PublishRecording(values, count, &fileRate, nullptr);
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
