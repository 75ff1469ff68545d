// The exported loaders: one load at a time, the file read outside any lock the packet builder takes, and the
// result published in one step.
#include "api/SessionSync.h"
#include "playback/RecordingFile.h"
#include "playback/RecordingLoaders.h"
#include "playback/RecordingPublish.h"
#include "qolt_api.h"
#include "synth/PlaybackBuffer.h"

#include <mutex>

int LoadEEGtxt(const wchar_t* path) {
    try {
        std::lock_guard<std::mutex> guard(g_RecordingLoadMutex);
        FILE* file = _OpenRecordingFile(path);
        if (file == nullptr) {
            return -1;
        }
        return _LoadTextRecording(file, g_bRecordingTextMayBeUtf16);
    } catch (...) {
        return -1; // the load lock could not be taken: nothing was read or changed
    }
}

int LoadEEGbin(const wchar_t* path) {
    try {
        std::lock_guard<std::mutex> guard(g_RecordingLoadMutex);
        FILE* file = _OpenRecordingFile(path);
        if (file == nullptr) {
            return -1;
        }
        return _LoadBinaryRecording(file);
    } catch (...) {
        return -1;
    }
}

int LoadEEGedf(const wchar_t* path, int signal) {
    try {
        std::lock_guard<std::mutex> guard(g_RecordingLoadMutex);
        FILE* file = _OpenRecordingFile(path);
        if (file == nullptr) {
            return -1;
        }
        return _LoadEDFRecording(file, signal);
    } catch (...) {
        return -1;
    }
}

int EnablePlayRawDataLoop(bool loop) {
    // The packet stream reads the flag at the end of a recording, under this lock.
    CAutoCriticalSection lock(g_APICriticalSection);
    g_bPlayLoop = loop;
    return 0;
}
