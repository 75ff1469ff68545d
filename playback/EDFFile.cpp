#include "playback/EDFFile.h"

#include "playback/CNumbers.h"
#include "playback/EDFDateTime.h"
#include "playback/LargeArray.h"
#include "playback/RecordingFile.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <vector>

const char* const EDFHeader::EDFContinuous = "EDF+C";
const char* const EDFHeader::EDFDiscontinuous = "EDF+D";

namespace {

char s_Field[256];

// Widths of the signal header fields, in file order: label, transducer type, physical dimension, physical
// minimum and maximum, digital minimum and maximum, prefiltering, samples per record, reserved.
const int kSignalFieldWidths[10] = {16, 80, 8, 8, 8, 8, 8, 80, 8, 32};

// Byte offset of field k of signal i within the signal headers of ns signals (stored field by field).
int SignalFieldOffset(int ns, int k, int i) {
    int before = 0;
    for (int j = 0; j < k; ++j) {
        before += kSignalFieldWidths[j];
    }
    return ns * before + i * kSignalFieldWidths[k];
}

// How the digital samples of a signal become physical values.
struct SampleMapping {
    enum Kind { Zero, Constant, Linear } kind = Zero;
    float constant = 0.0f;
    float gain = 0.0f;
    float offset = 0.0f;
    bool finite = false; // every 16-bit sample maps to a finite value
};

SampleMapping MappingOf(const EDFSignal& signal) {
    SampleMapping m;
    if (signal.m_fDigitalMaximum == signal.m_fDigitalMinimum) {
        m.kind = SampleMapping::Zero;
        return m;
    }
    m.gain = signal.AmplifierGain();
    if (m.gain == 0.0f) {
        m.kind = SampleMapping::Constant;
        m.constant = std::isfinite(signal.m_fPhysicalMinimum) ? signal.m_fPhysicalMinimum : 0.0f;
        return m;
    }
    m.kind = SampleMapping::Linear;
    m.offset = signal.Offset();
    // The mapping is monotonic: when both ends of the 16-bit range map to finite values, every sample does.
    const float low = (-32768.0f + m.offset) * m.gain;
    const float high = (32767.0f + m.offset) * m.gain;
    m.finite = std::isfinite(low) && std::isfinite(high);
    return m;
}

template <class T> void FillValues(T* out, size_t n, float value) {
    std::fill(out, out + n, static_cast<T>(value));
}

int16_t LittleEndianSample(const unsigned char* p) {
    return static_cast<int16_t>(static_cast<uint16_t>(p[0] | (p[1] << 8)));
}

// Converts n little-endian 16-bit samples.
template <class T> void ConvertSamples(const unsigned char* raw, size_t n, T* out, const SampleMapping& m) {
    switch (m.kind) {
    case SampleMapping::Zero:
        FillValues(out, n, 0.0f);
        return;
    case SampleMapping::Constant:
        FillValues(out, n, m.constant);
        return;
    case SampleMapping::Linear:
        break;
    }
    const float gain = m.gain;
    const float offset = m.offset;
    if (m.finite) {
        for (size_t i = 0; i < n; ++i) {
            out[i] = static_cast<T>((static_cast<float>(LittleEndianSample(raw + 2 * i)) + offset) * gain);
        }
        return;
    }
    for (size_t i = 0; i < n; ++i) {
        const float v = (static_cast<float>(LittleEndianSample(raw + 2 * i)) + offset) * gain;
        out[i] = static_cast<T>(std::isfinite(v) ? v : 0.0f);
    }
}

// Reads up to n bytes from the stream's current position.
size_t ReadStream(FILE* file, void* buffer, size_t n) {
    return n == 0 ? 0 : std::fread(buffer, 1, n, file);
}

// Skips n bytes of a stream that cannot seek; false at the end of the file.
bool SkipStream(FILE* file, int64_t n, unsigned char* scratch, size_t scratchSize) {
    while (n > 0) {
        const size_t want = static_cast<size_t>(std::min<int64_t>(n, static_cast<int64_t>(scratchSize)));
        const size_t got = ReadStream(file, scratch, want);
        n -= static_cast<int64_t>(got);
        if (got < want) {
            return false;
        }
    }
    return true;
}

const size_t kScratchBytes = 64 * 1024;

// Bytes read from the file before conversion; not cleared (every byte used is read first).
class ScratchBuffer {
public:
    void resize(size_t n) {
        if (n > m_nSize) {
            m_pData.reset(new unsigned char[n]);
            m_nSize = n;
        }
    }
    unsigned char* data() { return m_pData.get(); }
    size_t size() const { return m_nSize; }

private:
    std::unique_ptr<unsigned char[]> m_pData;
    size_t m_nSize = 0;
};
// Records up to this size are read whole, several per read: one read of the whole record costs less than a
// read per signal's share. Bigger records get one positioned read of the signal's share each.
const int64_t kWholeRecordBytes = 16 * 1024;
const int64_t kBlockBytes = 256 * 1024;

template <class T> T* AllocateValues(size_t count, void (*onShortage)()) {
    if (count > SIZE_MAX / sizeof(T)) {
        return nullptr;
    }
    void* p = std::malloc(count * sizeof(T));
    if (p == nullptr && onShortage != nullptr) {
        onShortage();
        p = std::malloc(count * sizeof(T));
    }
    _AdviseLargeArray(p, count * sizeof(T));
    return static_cast<T*>(p);
}

// Zeroed: the missing part of a cut-short record is 0 without being written, so fresh pages that the file
// never fills are never committed (a header may announce a record far larger than the file).
template <class T> T* AllocateZeroedValues(size_t count, void (*onShortage)()) {
    static_assert(sizeof(T) <= 8 && T(0) == T(), "all-zero bytes are the value 0");
    void* p = std::calloc(count, sizeof(T));
    if (p == nullptr && onShortage != nullptr) {
        onShortage();
        p = std::calloc(count, sizeof(T));
    }
    _AdviseLargeArray(p, count * sizeof(T));
    return static_cast<T*>(p);
}

} // namespace

// ---- EDFSignal ------------------------------------------------------------------------------------------

float EDFSignal::AmplifierGain() const {
    if (m_fDigitalMaximum == m_fDigitalMinimum) {
        return 0.0f;
    }
    return (m_fPhysicalMaximum - m_fPhysicalMinimum) / (m_fDigitalMaximum - m_fDigitalMinimum);
}

float EDFSignal::Offset() const {
    const float gain = AmplifierGain();
    if (gain == 0.0f) {
        return 0.0f;
    }
    return m_fPhysicalMaximum / gain - m_fDigitalMaximum;
}

// ---- EDFHeader ------------------------------------------------------------------------------------------

EDFHeader::EDFHeader()
    : m_bIsEDFPlus(false), m_nStartDate(0), m_nStartTime(0), m_nNumberOfBytes(0), m_nNumberOfDataRecords(0),
      m_fDurationOfDataRecord(0.0), m_nNumberOfSignals(0) {}

EDFHeader::~EDFHeader() = default;

const char* EDFHeader::getFixedLengthCharArrayFromHeader(const char* buffer, int length, int offset,
                                                         bool trim) {
    const int n = std::clamp(length, 0, static_cast<int>(sizeof(s_Field)) - 1);
    if (buffer == nullptr || offset < 0) {
        s_Field[0] = '\0';
        return s_Field;
    }
    std::memcpy(s_Field, buffer + offset, static_cast<size_t>(n));
    s_Field[n] = '\0';
    if (trim) {
        int end = n;
        while (end > 0 && s_Field[end - 1] == ' ') {
            --end;
        }
        s_Field[end] = '\0';
    }
    return s_Field;
}

bool EDFHeader::ParseHeader(int size, char* buffer) {
    if (size != HeaderBytes || buffer == nullptr) {
        return false;
    }
    int offset = 0;
    auto field = [&](int width, bool trim) {
        const char* text = getFixedLengthCharArrayFromHeader(buffer, width, offset, trim);
        offset += width;
        return text;
    };

    m_strVersion = field(FixedLength_Version, true);

    // The sub-field parsers and the date parsers write into their text: give them copies of the field.
    char text[FixedLength_LocalPatientIdentification + 1];
    std::strcpy(text, field(FixedLength_LocalPatientIdentification, false));
    m_PatientIdentification.ParsePatientIdentificationSubFields(text);
    std::strcpy(text, field(FixedLength_LocalRecordingIdentifiaction, false));
    m_RecordingIdentification.ParseRecordingIdentificationSubFields(text);

    std::strcpy(text, field(FixedLength_StartDateEDF, true));
    m_nStartDate = btParseDate(text, "dd.MM.yy");
    std::strcpy(text, field(FixedLength_StartTimeEDF, true));
    m_nStartTime = btParseTime(text, "HH.mm.ss");

    m_nNumberOfBytes = _AtoiC(field(FixedLength_NumberOfBytes, true));
    if (m_nNumberOfBytes == 0) {
        return false;
    }

    m_strReserved = field(FixedLength_Reserved, true);
    m_bIsEDFPlus = std::strncmp(m_strReserved.c_str(), EDFContinuous, 5) == 0 ||
                   std::strncmp(m_strReserved.c_str(), EDFDiscontinuous, 5) == 0;

    m_nNumberOfDataRecords = _AtoiC(field(FixedLength_NumberOfDataRecords, true));
    if (m_nNumberOfDataRecords <= 0) {
        return false;
    }
    m_fDurationOfDataRecord = _AtofC(field(FixedLength_DuraitonOfDataRecordInSeconds, true));
    if (!(m_fDurationOfDataRecord > 0.0) || !std::isfinite(m_fDurationOfDataRecord)) {
        return false;
    }
    m_nNumberOfSignals = _AtoiC(field(FixedLength_NumberOfSignalsInDataRecord, true));
    return m_nNumberOfSignals > 0 && m_nNumberOfSignals <= MaxSignals;
}

bool EDFHeader::ParseSignals(int size, char* buffer) {
    const int ns = m_nNumberOfSignals;
    if (ns <= 0 || ns > MaxSignals || size != ns * HeaderBytes || buffer == nullptr) {
        return false;
    }
    for (int i = 0; i < ns; ++i) {
        auto signal = std::make_unique<EDFSignal>();
        signal->m_nSignalNumber = i + 1;
        auto field = [&](int k) {
            return getFixedLengthCharArrayFromHeader(buffer, kSignalFieldWidths[k],
                                                     SignalFieldOffset(ns, k, i), true);
        };
        signal->m_strLabel = field(0);
        signal->m_strTransducerType = field(1);
        signal->m_strPhysicalDimension = field(2);
        _ScanFloatC(field(3), signal->m_fPhysicalMinimum);
        _ScanFloatC(field(4), signal->m_fPhysicalMaximum);
        _ScanFloatC(field(5), signal->m_fDigitalMinimum);
        _ScanFloatC(field(6), signal->m_fDigitalMaximum);
        signal->m_strPrefiltering = field(7);
        if (!_ScanIntC(field(8), signal->m_nNumberOfSamplesInDataRecord) ||
            signal->m_nNumberOfSamplesInDataRecord < 0) {
            return false;
        }
        m_pSignals[i] = std::move(signal);
    }
    return true;
}

// ---- EDFFile --------------------------------------------------------------------------------------------

EDFFile::~EDFFile() {
    close();
}

void EDFFile::close() {
    if (m_pFile != nullptr) {
        std::fclose(m_pFile);
        m_pFile = nullptr;
    }
    m_bStreamConsumed = false;
}

bool EDFFile::readFile(const char* path) {
    if (path == nullptr) {
        return false;
    }
    FILE* file = std::fopen(path, "rb");
    return file != nullptr && readStream(file);
}

bool EDFFile::readStream(FILE* file) {
    close();
    m_pFile = file;
    if (m_pFile == nullptr) {
        return false;
    }
    char header[EDFHeader::HeaderBytes];
    if (std::fread(header, 1, sizeof(header), m_pFile) != sizeof(header) ||
        !m_Header.ParseHeader(EDFHeader::HeaderBytes, header)) {
        close();
        return false;
    }
    const int size = m_Header.m_nNumberOfSignals * EDFHeader::HeaderBytes;
    std::vector<char> signals(static_cast<size_t>(size));
    if (std::fread(signals.data(), 1, signals.size(), m_pFile) != signals.size() ||
        !m_Header.ParseSignals(size, signals.data())) {
        close();
        return false;
    }
    return true;
}

int64_t EDFFile::announcedSampleCount(int signal) const {
    if (signal < 0 || signal >= m_Header.m_nNumberOfSignals || !m_Header.m_pSignals[signal]) {
        return -1;
    }
    return static_cast<int64_t>(m_Header.m_pSignals[signal]->m_nNumberOfSamplesInDataRecord) *
           m_Header.m_nNumberOfDataRecords;
}

int EDFFile::retrieveSignalSampleValues(int signal, float*& values) {
    return retrieve(signal, values, nullptr);
}

int EDFFile::retrieveSignalSampleValues(int signal, double*& values, void (*onShortage)()) {
    return retrieve(signal, values, onShortage);
}

template <class T> int EDFFile::retrieve(int signal, T*& values, void (*onShortage)()) {
    values = nullptr;
    const int64_t announced = announcedSampleCount(signal);
    if (m_pFile == nullptr || announced < 0) {
        return RetrieveNoSignal;
    }
    if (announced > INT_MAX) {
        return RetrieveTooMany;
    }
    const EDFHeader& h = m_Header;
    const int ns = h.m_nNumberOfSignals;
    const int64_t spr = h.m_pSignals[signal]->m_nNumberOfSamplesInDataRecord;
    if (announced == 0) {
        return 0;
    }
    int64_t recordBytes = 0;
    int64_t shareOffset = 0; // of this signal's samples within a record
    for (int j = 0; j < ns; ++j) {
        if (j == signal) {
            shareOffset = recordBytes;
        }
        recordBytes += 2 * static_cast<int64_t>(h.m_pSignals[j]->m_nNumberOfSamplesInDataRecord);
    }
    const int64_t shareBytes = 2 * spr;
    const int64_t dataStart = static_cast<int64_t>(ns + 1) * EDFHeader::HeaderBytes;
    const SampleMapping mapping = MappingOf(*h.m_pSignals[signal]);
    ScratchBuffer scratch;

    const int64_t fileSize = _RecordingFileSize(m_pFile);
    if (fileSize >= 0) {
        // Only what the file holds: a record with at least one byte present counts, its missing part is 0.
        const int64_t available = std::max<int64_t>(0, fileSize - dataStart);
        const int64_t records =
            std::min<int64_t>(h.m_nNumberOfDataRecords, (available + recordBytes - 1) / recordBytes);
        const int64_t count = spr * records;
        if (count == 0) {
            return 0;
        }
        T* out = AllocateZeroedValues<T>(static_cast<size_t>(count), onShortage);
        if (out == nullptr) {
            return RetrieveNoMemory;
        }
        if (recordBytes <= kWholeRecordBytes) {
            const int64_t perBlock = std::max<int64_t>(1, kBlockBytes / recordBytes);
            scratch.resize(static_cast<size_t>(std::min(perBlock, records) * recordBytes));
            for (int64_t r = 0; r < records; r += perBlock) {
                const int64_t n = std::min(perBlock, records - r);
                const auto got = static_cast<int64_t>(_ReadRecordingAt(m_pFile, dataStart + r * recordBytes,
                                                                       scratch.data(),
                                                                       static_cast<size_t>(n * recordBytes)));
                for (int64_t k = 0; k < n; ++k) {
                    const int64_t start = k * recordBytes + shareOffset;
                    const int64_t present = std::clamp<int64_t>(got - start, 0, shareBytes) / 2;
                    T* dst = out + (r + k) * spr;
                    ConvertSamples(scratch.data() + start, static_cast<size_t>(present), dst, mapping);
                }
            }
        } else {
            scratch.resize(static_cast<size_t>(std::min<int64_t>(shareBytes, kScratchBytes)));
            const auto chunk = static_cast<int64_t>(scratch.size());
            for (int64_t r = 0; r < records; ++r) {
                T* dst = out + r * spr;
                int64_t done = 0; // bytes of this record's share
                while (done < shareBytes) {
                    const int64_t want = std::min(chunk, shareBytes - done);
                    const auto got = static_cast<int64_t>(
                        _ReadRecordingAt(m_pFile, dataStart + r * recordBytes + shareOffset + done,
                                         scratch.data(), static_cast<size_t>(want)));
                    ConvertSamples(scratch.data(), static_cast<size_t>(got / 2), dst + done / 2, mapping);
                    done += got - got % 2;
                    if (got < want) {
                        break;
                    }
                }
            }
        }
        values = out;
        return static_cast<int>(count);
    }

    // A stream of unknown size: read it through from the first record, growing the array as records arrive.
    // One that cannot seek (a pipe) stands there after readStream, but only until the first retrieval.
    if (!_SeekRecordingFile(m_pFile, dataStart)) {
        if (m_bStreamConsumed) {
            return RetrieveNoSignal;
        }
        std::clearerr(m_pFile);
    }
    m_bStreamConsumed = true;
    scratch.resize(kScratchBytes);
    T* out = nullptr;
    int64_t capacity = 0;
    int64_t count = 0;
    for (int r = 0; r < h.m_nNumberOfDataRecords; ++r) {
        const int c = std::fgetc(m_pFile);
        if (c == EOF) {
            break;
        }
        std::ungetc(c, m_pFile);
        if (count + spr > capacity) {
            const int64_t wanted = std::min(announced, std::max(count + spr, 2 * capacity));
            T* grown = AllocateValues<T>(static_cast<size_t>(wanted), onShortage);
            if (grown == nullptr) {
                std::free(out);
                return RetrieveNoMemory;
            }
            if (count > 0) {
                std::memcpy(grown, out, static_cast<size_t>(count) * sizeof(T));
            }
            std::free(out);
            out = grown;
            capacity = wanted;
        }
        T* dst = out + count;
        count += spr;
        int64_t done = 0;
        bool atEnd = !SkipStream(m_pFile, shareOffset, scratch.data(), scratch.size());
        while (!atEnd && done < shareBytes) {
            const int64_t want = std::min<int64_t>(static_cast<int64_t>(scratch.size()), shareBytes - done);
            const auto got =
                static_cast<int64_t>(ReadStream(m_pFile, scratch.data(), static_cast<size_t>(want)));
            // A sample split by the end of the stream is dropped with it.
            ConvertSamples(scratch.data(), static_cast<size_t>(got / 2), dst + done / 2, mapping);
            done += got - got % 2;
            atEnd = got < want;
        }
        FillValues(dst + done / 2, static_cast<size_t>(spr - done / 2), 0.0f);
        if (atEnd ||
            !SkipStream(m_pFile, recordBytes - shareOffset - shareBytes, scratch.data(), scratch.size())) {
            break;
        }
    }
    values = out;
    return static_cast<int>(count);
}
