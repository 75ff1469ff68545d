#pragma once

#include "playback/EDFIdentification.h"

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

// Reader of EDF and EDF+ files: the 256-byte main header, the per-signal header records and the samples of
// one signal as physical values. Calling order: construct, readFile (or readStream), any number of
// retrieveSignalSampleValues, destroy. Not for two threads at once: the field buffer is shared.
// EDF+ annotation signals and the record start times of EDF+D files are not interpreted: every signal is read
// alike and the records are taken back to back.

class EDFSignal {
public:
    // Physical units per digital step; 0 when the digital limits are equal (no mapping exists).
    float AmplifierGain() const;
    // Digital offset: physical maximum / gain - digital maximum; 0 when the gain is 0.
    float Offset() const;

    int m_nSignalNumber = 0; // 1-based
    std::string m_strLabel;
    std::string m_strTransducerType;
    std::string m_strPhysicalDimension;
    float m_fPhysicalMinimum = 0.0f;
    float m_fPhysicalMaximum = 0.0f;
    float m_fDigitalMinimum = 0.0f;
    float m_fDigitalMaximum = 0.0f;
    std::string m_strPrefiltering;
    int m_nNumberOfSamplesInDataRecord = 0;
};

class EDFHeader {
public:
    static constexpr int FixedLength_Version = 8;
    static constexpr int FixedLength_LocalPatientIdentification = 80;
    static constexpr int FixedLength_LocalRecordingIdentifiaction = 80;
    static constexpr int FixedLength_StartDateEDF = 8;
    static constexpr int FixedLength_StartTimeEDF = 8;
    static constexpr int FixedLength_NumberOfBytes = 8;
    static constexpr int FixedLength_Reserved = 44;
    static constexpr int FixedLength_NumberOfDataRecords = 8;
    static constexpr int FixedLength_DuraitonOfDataRecordInSeconds = 8;
    static constexpr int FixedLength_NumberOfSignalsInDataRecord = 4;

    static constexpr int MaxSignals = 256;
    static constexpr int HeaderBytes = 256; // main header, and each signal's share of the signal headers

    static const char* const EDFContinuous;    // "EDF+C"
    static const char* const EDFDiscontinuous; // "EDF+D"

    EDFHeader();
    ~EDFHeader();
    EDFHeader(const EDFHeader&) = delete;
    EDFHeader& operator=(const EDFHeader&) = delete;

    // Copies length bytes found offset bytes into buffer to a shared static 256-byte buffer, terminated,
    // without trailing spaces when trim is set. The next call overwrites it: copy or parse it at once.
    static const char* getFixedLengthCharArrayFromHeader(const char* buffer, int length, int offset,
                                                         bool trim);

    // The 256-byte main header. False for a wrong size, a zero header size, a record count or signal count
    // that is not positive, a record duration that is not a positive finite number, or more than 256 signals.
    bool ParseHeader(int size, char* buffer);
    // The ns * 256 bytes of signal headers. False for a wrong size or a samples-per-record field that is not
    // a non-negative integer.
    bool ParseSignals(int size, char* buffer);

    bool m_bIsEDFPlus;
    std::string m_strVersion;
    EDFLocalPatientIdentification m_PatientIdentification;
    EDFLocalRecordingIdentification m_RecordingIdentification;
    int m_nStartDate; // packed date
    int m_nStartTime; // packed time
    int m_nNumberOfBytes;
    std::string m_strReserved;
    int m_nNumberOfDataRecords;
    double m_fDurationOfDataRecord; // seconds, a decimal number ("0.5" is common in EEG exports)
    int m_nNumberOfSignals;
    std::unique_ptr<EDFSignal> m_pSignals[MaxSignals];
};

class EDFFile {
public:
    // Failures of retrieveSignalSampleValues.
    static constexpr int RetrieveNoSignal = -1; // not open, no such signal, or a pipe already read through
    static constexpr int RetrieveTooMany = -2;  // samples per record x records above INT_MAX
    static constexpr int RetrieveNoMemory = -3; // the values cannot be allocated

    EDFFile() = default;
    ~EDFFile();
    EDFFile(const EDFFile&) = delete;
    EDFFile& operator=(const EDFFile&) = delete;

    // Opens the file and reads both headers; false (and the file closed) when either is short or invalid.
    bool readFile(const char* path);
    // As readFile, on a stream opened for binary reading; the reader owns it from now on (also on failure).
    bool readStream(FILE* file);

    // The physical values of one signal (0-based), all data records in file order, in a new array of the
    // runtime allocator (malloc) that the caller frees; null when the count is 0. Values are computed in
    // single precision. Equal digital limits give 0s; equal physical limits the physical minimum; a value
    // that is not finite becomes 0; the missing part of a record cut short by the end of the file becomes 0.
    // Records wholly missing from the file are not returned, so the count is samples per record x the records
    // the file holds (at most the header's count). Returns the count, or one of the Retrieve codes.
    int retrieveSignalSampleValues(int signal, float*& values);
    // The same values widened to double. onShortage, when given, is called once if the allocation fails,
    // before a second attempt (a caller can free memory there).
    int retrieveSignalSampleValues(int signal, double*& values, void (*onShortage)() = nullptr);

    // Samples per record x number of data records of a signal, as the header announces them; -1 for no
    // signal.
    int64_t announcedSampleCount(int signal) const;

    EDFHeader m_Header;
    FILE* m_pFile = nullptr;

private:
    void close();
    bool m_bStreamConsumed = false; // a stream that cannot seek has been read through
    template <class T> int retrieve(int signal, T*& values, void (*onShortage)());
};
