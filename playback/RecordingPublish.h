#pragma once

#include <mutex>

// The one place that changes the playback buffer (synth/PlaybackBuffer.h) after a load.

// Replaces buffer and count, and the rate and peak when given (null keeps them), in one step for the packet
// builder; the old array is freed afterwards. samples is a malloc'd array of at least count values (null when
// count is 0); the playback buffer owns it from now on. While playback (stored function 13) is selected,
// it starts again with the new recording at once.
void _PublishRecording(double* samples, int count, const double* rate, const double* peak);

// Leaves the buffer empty (null, count 0), rate and peak unchanged: the state after a failed allocation.
void _EmptyRecording();

// Held by every loader from start to end: loads run one at a time (the EDF reader's field buffer is shared).
extern std::mutex g_RecordingLoadMutex;
