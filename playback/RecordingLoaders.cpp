// The exported loaders: one load at a time, the file read outside any lock the packet builder takes, and the
// result published in one step.
#include "core/SessionSync.h"
#include "playback/RecordingFile.h"
#include "playback/RecordingLoaders.h"
#include "playback/RecordingPublish.h"
#include "qolt_api.h"
#include "synth/PlaybackBuffer.h"

#include <mutex>

namespace {

// One load at a time: opens the file and hands it to `load`, which owns it from there.
template <class Load> int LoadFile(const wchar_t* path, Load load) {
    try {
        std::lock_guard<std::mutex> guard(g_RecordingLoadMutex);
        FILE* file = _OpenRecordingFile(path);
        if (file == nullptr) {
            return -1;
        }
        return load(file);
    } catch (...) {
        return -1; // the load lock could not be taken: nothing was read or changed
    }
}

} // namespace

int LoadEEGtxt(const wchar_t* path) {
    return LoadFile(path, [](FILE* file) { return _LoadTextRecording(file, g_bRecordingTextMayBeUtf16); });
}

int LoadEEGbin(const wchar_t* path) {
    return LoadFile(path, _LoadBinaryRecording);
}

int LoadEEGedf(const wchar_t* path, int signal) {
    return LoadFile(path, [signal](FILE* file) { return _LoadEDFRecording(file, signal); });
}

int EnablePlayRawDataLoop(bool loop) {
    // The packet stream reads the flag at the end of a recording, under this lock.
    CAutoCriticalSection lock(g_APICriticalSection);
    g_bPlayLoop = loop;
    return 0;
}
