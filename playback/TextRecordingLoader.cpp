#include "playback/CNumbers.h"
#include "playback/RecordingFile.h"
#include "playback/RecordingLoaders.h"
#include "playback/RecordingPublish.h"
#include "playback/RecordingSamples.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <memory>

namespace {

// Text recordings are read as a 128-byte line buffer would read them: each piece is at most 127 bytes, up to
// and including a line feed, and a longer line is several pieces, each counted as a line.
const size_t kPieceBytes = 127;

class CPieceReader {
public:
    // fileSize (-1 when unknown) only sizes the buffer: a small file needs no large one.
    CPieceReader(FILE* file, int64_t fileSize)
        : m_pFile(file),
          m_nBufferBytes(fileSize < 0
                             ? kMaxBufferBytes
                             : static_cast<size_t>(std::clamp<int64_t>(fileSize + 1, 4096, kMaxBufferBytes))),
          m_pBuffer(new char[m_nBufferBytes]) {}

    // The next piece; false at the end of the file.
    bool Next(const char*& piece, size_t& length) {
        if (m_nEnd - m_nPos < kPieceBytes && !m_bEof) {
            Refill();
        }
        if (m_nPos == m_nEnd) {
            return false;
        }
        const size_t available = std::min(kPieceBytes, m_nEnd - m_nPos);
        const char* start = m_pBuffer.get() + m_nPos;
        const void* lf = std::memchr(start, '\n', available);
        length = lf != nullptr ? static_cast<size_t>(static_cast<const char*>(lf) - start) + 1 : available;
        piece = start;
        m_nPos += length;
        m_nConsumed += length;
        return true;
    }

    bool AtEnd() {
        if (m_nPos == m_nEnd && !m_bEof) {
            Refill();
        }
        return m_nPos == m_nEnd;
    }

    // Bytes handed out as pieces so far.
    int64_t Consumed() const { return m_nConsumed; }

private:
    static constexpr int64_t kMaxBufferBytes = 64 * 1024;

    void Refill() {
        std::memmove(m_pBuffer.get(), m_pBuffer.get() + m_nPos, m_nEnd - m_nPos);
        m_nEnd -= m_nPos;
        m_nPos = 0;
        const size_t want = m_nBufferBytes - m_nEnd;
        const size_t got = std::fread(m_pBuffer.get() + m_nEnd, 1, want, m_pFile);
        m_nEnd += got;
        if (got < want) {
            m_bEof = true;
        }
    }

    FILE* m_pFile;
    size_t m_nBufferBytes;
    std::unique_ptr<char[]> m_pBuffer;
    size_t m_nPos = 0;
    size_t m_nEnd = 0;
    int64_t m_nConsumed = 0;
    bool m_bEof = false;
};

// A UTF-16LE piece from byte 'from' on, as the ASCII text a wide-character parser would see: the piece ends
// at a zero unit (a lone last byte pairs with the zero that terminates the line buffer); a unit outside
// ASCII cannot belong to a number and ends it too.
size_t NarrowFromUtf16(const char* piece, size_t length, size_t from, char* out, size_t outSize) {
    size_t n = 0;
    for (size_t i = from; i < length && n + 1 < outSize; i += 2) {
        const auto low = static_cast<unsigned char>(piece[i]);
        const auto high = i + 1 < length ? static_cast<unsigned char>(piece[i + 1]) : 0u;
        if ((low == 0 && high == 0) || high != 0 || low > 0x7F) {
            break;
        }
        out[n++] = static_cast<char>(low);
    }
    out[n] = '\0';
    return n;
}

struct PieceParser {
    bool wide = false;

    double Double(const char* piece, size_t length, size_t wideFrom) const {
        double value = 0.0;
        Parse(piece, length, wideFrom,
              [&](const char* first, const char* last) { _ParseDoubleC(first, last, value); });
        return value;
    }

    int64_t Integer(const char* piece, size_t length, size_t wideFrom) const {
        int64_t value = 0;
        Parse(piece, length, wideFrom,
              [&](const char* first, const char* last) { _ParseInt64C(first, last, value); });
        return value;
    }

private:
    // Hands the piece to `parse` as narrow text, converting a UTF-16 piece first.
    template <class F> void Parse(const char* piece, size_t length, size_t wideFrom, F parse) const {
        if (wide) {
            char text[kPieceBytes + 1];
            const size_t n = NarrowFromUtf16(piece, length, wideFrom, text, sizeof(text));
            parse(text, text + n);
        } else {
            parse(piece, piece + length);
        }
    }
};

int LoadText(FILE* file, bool readUtf16) {
    const int64_t fileSize = _RecordingFileSize(file);
    CPieceReader reader(file, fileSize);
    PieceParser parse;
    const char* piece = nullptr;
    size_t length = 0;

    if (!reader.Next(piece, length)) {
        return -2;
    }
    parse.wide = readUtf16 && length >= 2 && static_cast<unsigned char>(piece[0]) == 0xFF &&
                 static_cast<unsigned char>(piece[1]) == 0xFE;
    // Later pieces start with the zero high byte of the previous line feed.
    const size_t laterFrom = parse.wide ? 1 : 0;
    const double rate = parse.Double(piece, length, 2);
    if (!(rate > 0.0) || !std::isfinite(rate)) {
        return -2;
    }

    if (!reader.Next(piece, length)) {
        return -3;
    }
    const int64_t announced = parse.Integer(piece, length, laterFrom);
    if (announced == 0) {
        return -3;
    }
    if (announced < 0) {
        _EmptyRecording();
        return -4;
    }
    const auto limit = static_cast<size_t>(std::min<int64_t>(announced, INT_MAX));

    // Every sample line takes at least one byte: never allocate for more lines than the file can hold.
    CRecordingSamples samples;
    if (fileSize >= 0) {
        const auto room = static_cast<size_t>(std::clamp<int64_t>(fileSize - reader.Consumed(), 0, INT_MAX));
        const size_t initial = std::min(limit, room);
        if (initial > 0 && !samples.Reserve(initial)) {
            _EmptyRecording();
            return -4;
        }
    }

    double peak = 0.0;
    size_t count = 0;
    while (count < limit && reader.Next(piece, length)) {
        // The high byte of the last line feed is not a line of its own.
        if (parse.wide && length == 1 && reader.AtEnd()) {
            break;
        }
        double v = parse.Double(piece, length, laterFrom);
        if (std::isnan(v)) {
            v = 0.0;
        }
        const double magnitude = std::fabs(v);
        if (magnitude > peak) {
            peak = magnitude;
        }
        v = std::clamp(v, -5000.0, 5000.0);
        if (count == samples.Capacity() && !samples.Grow(limit)) {
            _EmptyRecording();
            return -4;
        }
        samples.Data()[count++] = v;
    }

    const double fileMax = std::min(peak / 1000.0, 5.0);
    _PublishRecording(samples.Release(), static_cast<int>(count), &rate, &fileMax);
    return static_cast<int>(count);
}

} // namespace

int _LoadTextRecording(FILE* file, bool readUtf16) {
    if (file == nullptr) {
        return -1;
    }
    int result = -4;
    try {
        result = LoadText(file, readUtf16);
    } catch (...) {
        _EmptyRecording();
    }
    std::fclose(file);
    return result;
}
