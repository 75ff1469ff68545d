#include "playback/RecordingFile.h"
#include "playback/RecordingLoaders.h"
#include "playback/RecordingPublish.h"
#include "playback/RecordingSamples.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <memory>

namespace {

const int64_t kHeaderBytes = 6;
const size_t kChunkBytes = 64 * 1024;

int LoadBinary(FILE* file) {
    const int64_t fileSize = _RecordingFileSize(file);
    unsigned char header[kHeaderBytes];
    const size_t got = std::fread(header, 1, sizeof(header), file);
    if (got < 2) {
        return -2;
    }
    const double rate = static_cast<double>((header[0] << 8) | header[1]);
    if (rate == 0.0) {
        return -2;
    }
    if (got < 6) {
        return -3;
    }
    const auto bits = static_cast<uint32_t>((static_cast<uint32_t>(header[2]) << 24) |
                                            (static_cast<uint32_t>(header[3]) << 16) |
                                            (static_cast<uint32_t>(header[4]) << 8) | header[5]);
    const auto announced = static_cast<int32_t>(bits);
    if (announced == 0) {
        return -3;
    }
    if (announced < 0) {
        _EmptyRecording();
        return -4;
    }
    const auto limit = static_cast<size_t>(announced);

    // Never allocate for more samples than the file can hold.
    CRecordingSamples samples;
    if (fileSize >= 0) {
        const auto room = static_cast<size_t>(std::max<int64_t>(0, (fileSize - kHeaderBytes) / 2));
        const size_t initial = std::min(limit, room);
        if (initial > 0 && !samples.Reserve(initial)) {
            _EmptyRecording();
            return -4;
        }
    }

    std::unique_ptr<unsigned char[]> chunk(new unsigned char[kChunkBytes + 1]);
    double peak = 0.0;
    size_t count = 0;
    size_t carried = 0; // a byte of a sample split between two reads
    while (count < limit) {
        const size_t n = std::fread(chunk.get() + carried, 1, kChunkBytes, file) + carried;
        const size_t pairs = std::min(n / 2, limit - count);
        for (size_t i = 0; i < pairs; ++i) {
            const auto raw = static_cast<uint16_t>((chunk[2 * i] << 8) | chunk[2 * i + 1]);
            const double v = static_cast<int16_t>(raw);
            const double magnitude = std::fabs(v);
            if (magnitude > peak) {
                peak = magnitude;
            }
            if (count == samples.Capacity() && !samples.Grow(limit)) {
                _EmptyRecording();
                return -4;
            }
            samples.Data()[count++] = std::clamp(v, -5000.0, 5000.0);
        }
        if (n - carried < kChunkBytes) {
            break; // end of file; a trailing odd byte is ignored
        }
        carried = n % 2;
        if (carried != 0) {
            chunk[0] = chunk[n - 1];
        }
    }

    const double fileMax = std::min(peak / 1000.0, 5.0);
    _PublishRecording(samples.Release(), static_cast<int>(count), &rate, &fileMax);
    return static_cast<int>(count);
}

} // namespace

int _LoadBinaryRecording(FILE* file) {
    if (file == nullptr) {
        return -1;
    }
    int result = -4;
    try {
        result = LoadBinary(file);
    } catch (...) {
        _EmptyRecording();
    }
    std::fclose(file);
    return result;
}
