// The EDF/EDF+ reader on hand-made files: headers, signal headers, sample retrieval and mapping, files cut
// short, refused headers (each field patched in place, then put back), and LoadEEGedf on top of it.
#include "PlaybackTestSupport.h"

#include "playback/EDFFile.h"
#include "playback/RecordingPublish.h"
#include "qolt_api.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

using namespace playback_test;

namespace {

struct Values {
    int count = 0;
    std::vector<float> values;
};

Values Retrieve(EDFFile& edf, int signal) {
    float* raw = nullptr;
    Values v;
    v.count = edf.retrieveSignalSampleValues(signal, raw);
    if (v.count > 0) {
        v.values.assign(raw, raw + v.count);
    }
    std::free(raw);
    return v;
}

// Values read through a stream that cannot seek (fmemopen has no descriptor): the reading-through path.
Values RetrieveFromMemory(const std::string& bytes, int signal, bool* opened = nullptr) {
    FILE* f = fmemopen(const_cast<char*>(bytes.data()), bytes.size(), "rb");
    EDFFile edf;
    const bool ok = edf.readStream(f);
    if (opened != nullptr) {
        *opened = ok;
    }
    return ok ? Retrieve(edf, signal) : Values{-100, {}};
}

// The physical value of a digital sample for a signal whose physical range equals its digital range.
float Identity(int16_t d) {
    return static_cast<float>(d);
}

class EdfReader : public ::testing::Test {
protected:
    TempDir dir;

    std::string Write(const EdfSpec& spec, const std::string& name = "f.edf") {
        return dir.Write(name, EdfFile(spec));
    }
};

TEST_F(EdfReader, MainHeaderFields) {
    EdfSpec spec;
    spec.version = "0";
    spec.reserved = "EDF+C";
    spec.records = 3;
    spec.duration = "2";
    spec.startDate = "16.04.85";
    spec.startTime = "23.59.58";
    spec.patient = "MCH-0234567 F 02-MAY-1951 Haagse_Harry extra";
    spec.recording = "Startdate 02-MAR-2002 EMR-123 Tech_X Amp3 more";
    EDFFile edf;
    ASSERT_TRUE(edf.readFile(Write(spec).c_str()));
    const EDFHeader& h = edf.m_Header;
    EXPECT_EQ(h.m_strVersion, "0");
    EXPECT_TRUE(h.m_bIsEDFPlus);
    EXPECT_EQ(h.m_strReserved, "EDF+C");
    EXPECT_EQ(h.m_nStartDate, 19850416);
    EXPECT_EQ(h.m_nStartTime, 235958);
    EXPECT_EQ(h.m_nNumberOfBytes, 512);
    EXPECT_EQ(h.m_nNumberOfDataRecords, 3);
    EXPECT_EQ(h.m_fDurationOfDataRecord, 2.0);
    EXPECT_EQ(h.m_nNumberOfSignals, 1);
    EXPECT_EQ(h.m_PatientIdentification.m_strPatientCode, "MCH-0234567");
    EXPECT_EQ(h.m_PatientIdentification.m_strSex, "F");
    EXPECT_EQ(h.m_PatientIdentification.m_nBirthdate, 19510502);
    EXPECT_EQ(h.m_PatientIdentification.m_strPatientName, "Haagse_Harry");
    EXPECT_EQ(h.m_PatientIdentification.m_FurtherSubFields, std::vector<std::string>{"extra"});
    EXPECT_EQ(h.m_RecordingIdentification.m_nStartDate, 20020302);
    EXPECT_EQ(h.m_RecordingIdentification.m_strHospitalAdministrationCode, "EMR-123");
    EXPECT_EQ(h.m_RecordingIdentification.m_strTechnicianCode, "Tech_X");
    EXPECT_EQ(h.m_RecordingIdentification.m_strEquipmentCode, "Amp3");
    EXPECT_EQ(h.m_RecordingIdentification.m_FurtherSubFields, std::vector<std::string>{"more"});
    EXPECT_NE(edf.m_pFile, nullptr);
}

// Plain EDF identification fields (free text) and unparsable dates never refuse a file.
TEST_F(EdfReader, PlainEdfFreeTextFieldsAndBadDates) {
    EdfSpec spec;
    spec.patient = "John Doe";
    spec.recording = "Sleep study, night 1";
    spec.startDate = "yy.mm.dd";
    spec.startTime = "noon";
    EDFFile edf;
    ASSERT_TRUE(edf.readFile(Write(spec).c_str()));
    EXPECT_FALSE(edf.m_Header.m_bIsEDFPlus);
    EXPECT_EQ(edf.m_Header.m_nStartDate, 20110101);
    EXPECT_EQ(edf.m_Header.m_nStartTime, 0);
    EXPECT_EQ(edf.m_Header.m_PatientIdentification.m_strPatientCode, "");
    EXPECT_EQ(edf.m_Header.m_RecordingIdentification.m_nStartDate, 0);
}

TEST_F(EdfReader, EdfPlusFlag) {
    struct Case {
        const char* reserved;
        bool plus;
    };
    for (const Case c :
         {Case{"EDF+C", true}, Case{"EDF+D", true}, Case{"", false}, Case{"EDF", false}, Case{"EDF+", false},
          Case{"EDF+X", false}, Case{"edf+c", false}, Case{"EDF+D and more", true}, Case{" EDF+C", false}}) {
        EdfSpec spec;
        spec.reserved = c.reserved;
        EDFFile edf;
        ASSERT_TRUE(edf.readFile(Write(spec).c_str())) << c.reserved;
        EXPECT_EQ(edf.m_Header.m_bIsEDFPlus, c.plus) << '"' << c.reserved << '"';
        EXPECT_EQ(edf.m_Header.m_strReserved, c.reserved);
    }
}

TEST_F(EdfReader, SignalHeaderFields) {
    EdfSpec spec;
    spec.signals.resize(3);
    spec.signals[0] = {"EEG Fpz-Cz", "AgAgCl cup",       "uV", "-440", "510", "-2048",
                       "2047",       "HP:0.1Hz LP:75Hz", 100,  ""};
    spec.signals[1] = {"Temp rectal", "Thermistor", "degC", "34.4", "40.2", "-32768", "32767", "", 1, ""};
    spec.signals[2] = {"EDF Annotations", "", "", "-1", "1", "-32768", "32767", "", 60, ""};
    EDFFile edf;
    ASSERT_TRUE(edf.readFile(Write(spec).c_str()));
    ASSERT_EQ(edf.m_Header.m_nNumberOfSignals, 3);
    const EDFSignal& s0 = *edf.m_Header.m_pSignals[0];
    EXPECT_EQ(s0.m_nSignalNumber, 1);
    EXPECT_EQ(s0.m_strLabel, "EEG Fpz-Cz");
    EXPECT_EQ(s0.m_strTransducerType, "AgAgCl cup");
    EXPECT_EQ(s0.m_strPhysicalDimension, "uV");
    EXPECT_EQ(s0.m_fPhysicalMinimum, -440.0f);
    EXPECT_EQ(s0.m_fPhysicalMaximum, 510.0f);
    EXPECT_EQ(s0.m_fDigitalMinimum, -2048.0f);
    EXPECT_EQ(s0.m_fDigitalMaximum, 2047.0f);
    EXPECT_EQ(s0.m_strPrefiltering, "HP:0.1Hz LP:75Hz");
    EXPECT_EQ(s0.m_nNumberOfSamplesInDataRecord, 100);
    const EDFSignal& s1 = *edf.m_Header.m_pSignals[1];
    EXPECT_EQ(s1.m_nSignalNumber, 2);
    EXPECT_EQ(s1.m_strLabel, "Temp rectal");
    EXPECT_EQ(s1.m_fPhysicalMinimum, 34.4f);
    EXPECT_EQ(s1.m_strPrefiltering, "");
    EXPECT_EQ(s1.m_nNumberOfSamplesInDataRecord, 1);
    EXPECT_EQ(edf.m_Header.m_pSignals[2]->m_strLabel, "EDF Annotations");
    EXPECT_EQ(edf.m_Header.m_pSignals[3], nullptr);
}

TEST_F(EdfReader, SignalCountLimits) {
    for (const int ns : {1, 255, 256, 257}) {
        EdfSpec spec;
        spec.records = 1;
        spec.signals.assign(static_cast<size_t>(ns), EdfSignalSpec());
        for (auto& s : spec.signals) {
            s.samplesPerRecord = 1;
        }
        EDFFile edf;
        const bool opened = edf.readFile(Write(spec).c_str());
        EXPECT_EQ(opened, ns <= 256) << ns;
        if (opened) {
            const Values v = Retrieve(edf, ns - 1);
            ASSERT_EQ(v.count, 1);
            EXPECT_EQ(v.values[0], Identity(DigitalSample(ns - 1, 0, 0)));
        }
    }
}

// Three signals of 10, 20 and 30 samples per record: signal 1 is bytes 20..59 of each record.
TEST_F(EdfReader, RetrievesOneSignalFromEveryRecord) {
    EdfSpec spec;
    spec.signals.assign(3, EdfSignalSpec());
    spec.signals[0].samplesPerRecord = 10;
    spec.signals[1].samplesPerRecord = 20;
    spec.signals[2].samplesPerRecord = 30;
    spec.records = 2;
    const std::string path = Write(spec);
    EDFFile edf;
    ASSERT_TRUE(edf.readFile(path.c_str()));
    const Values v = Retrieve(edf, 1);
    ASSERT_EQ(v.count, 40);
    const std::string bytes = ReadAll(path);
    const size_t dataStart = 4 * 256;
    for (int r = 0; r < 2; ++r) {
        for (int k = 0; k < 20; ++k) {
            const size_t at = dataStart + static_cast<size_t>(r) * 120 + 20 + 2 * static_cast<size_t>(k);
            const auto d = static_cast<int16_t>(static_cast<uint16_t>(
                static_cast<unsigned char>(bytes[at]) | (static_cast<unsigned char>(bytes[at + 1]) << 8)));
            EXPECT_EQ(v.values[static_cast<size_t>(r * 20 + k)], Identity(d)) << r << ' ' << k;
        }
    }
    EXPECT_EQ(Retrieve(edf, 0).count, 20);
    EXPECT_EQ(Retrieve(edf, 2).count, 60);
    EXPECT_EQ(Retrieve(edf, 3).count, EDFFile::RetrieveNoSignal);
    EXPECT_EQ(Retrieve(edf, -1).count, EDFFile::RetrieveNoSignal);
}

struct MappingCase {
    const char* physMin;
    const char* physMax;
    const char* digMin;
    const char* digMax;
    int16_t digital;
    float expected;
    float tolerance;
};

TEST_F(EdfReader, DigitalToPhysicalMapping) {
    const MappingCase cases[] = {
        // 0.1 physical units per digital step.
        {"-3276.8", "3276.7", "-32768", "32767", 0, 0.0f, 1e-3f},
        {"-3276.8", "3276.7", "-32768", "32767", 1, 0.1f, 1e-3f},
        {"-3276.8", "3276.7", "-32768", "32767", -32768, -3276.8f, 1e-3f},
        {"-3276.8", "3276.7", "-32768", "32767", 32767, 3276.7f, 1e-3f},
        {"-3276.8", "3276.7", "-32768", "32767", 12345, 1234.5f, 1e-3f},
        // Offset mapping: -1000..1000 onto 0..100.
        {"0", "100", "-1000", "1000", -1000, 0.0f, 1e-5f},
        {"0", "100", "-1000", "1000", 0, 50.0f, 1e-5f},
        {"0", "100", "-1000", "1000", 1000, 100.0f, 1e-5f},
        {"0", "100", "-1000", "1000", 500, 75.0f, 1e-5f},
        // Inverted physical range.
        {"100", "-100", "-100", "100", 25, -25.0f, 1e-5f},
        // Values beyond the digital limits follow the same line.
        {"0", "100", "-1000", "1000", 2000, 150.0f, 1e-4f},
    };
    for (const MappingCase& c : cases) {
        EdfSpec spec;
        spec.records = 1;
        spec.signals[0].samplesPerRecord = 1;
        spec.signals[0].physicalMin = c.physMin;
        spec.signals[0].physicalMax = c.physMax;
        spec.signals[0].digitalMin = c.digMin;
        spec.signals[0].digitalMax = c.digMax;
        std::string bytes = EdfHeader(spec);
        const auto u = static_cast<uint16_t>(c.digital);
        bytes += static_cast<char>(u & 0xFF);
        bytes += static_cast<char>(u >> 8);
        EDFFile edf;
        ASSERT_TRUE(edf.readFile(dir.Write("m.edf", bytes).c_str()));
        const Values v = Retrieve(edf, 0);
        ASSERT_EQ(v.count, 1);
        EXPECT_NEAR(v.values[0], c.expected, c.tolerance)
            << c.physMin << ".." << c.physMax << " / " << c.digMin << ".." << c.digMax << " d=" << c.digital;
    }
}

// Limits that give no mapping: equal digital limits (unparsable ones are 0 and equal too) give 0s, equal
// physical limits the physical minimum, and a value that is not finite 0.
TEST_F(EdfReader, DegenerateLimits) {
    struct Case {
        const char* physMin;
        const char* physMax;
        const char* digMin;
        const char* digMax;
        float expected; // for every sample
    };
    const Case cases[] = {
        {"-100", "100", "5", "5", 0.0f},         {"-100", "100", "abc", "uV", 0.0f},
        {"7.5", "7.5", "-32768", "32767", 7.5f}, {"abc", "def", "-32768", "32767", 0.0f},
        {"-3e38", "3e38", "-1", "1", 0.0f}, // the gain overflows single precision
        {"nan", "100", "-32768", "32767", 0.0f}, {"inf", "100", "-32768", "32767", 0.0f},
    };
    for (const Case& c : cases) {
        EdfSpec spec;
        spec.signals[0].physicalMin = c.physMin;
        spec.signals[0].physicalMax = c.physMax;
        spec.signals[0].digitalMin = c.digMin;
        spec.signals[0].digitalMax = c.digMax;
        EDFFile edf;
        ASSERT_TRUE(edf.readFile(Write(spec).c_str()));
        const Values v = Retrieve(edf, 0);
        ASSERT_EQ(v.count, 20);
        for (float x : v.values) {
            ASSERT_EQ(x, c.expected) << c.physMin << ".." << c.physMax << " / " << c.digMin << ".."
                                     << c.digMax;
        }
    }
}

TEST_F(EdfReader, ValuesThatOverflowBecomeZero) {
    EdfSpec spec;
    spec.records = 1;
    spec.signals[0].samplesPerRecord = 3;
    spec.signals[0].physicalMin = "-3e38";
    spec.signals[0].physicalMax = "3e38";
    spec.signals[0].digitalMin = "-32768";
    spec.signals[0].digitalMax = "32767";
    std::string bytes = EdfHeader(spec);
    for (const int16_t d : {int16_t(0), int16_t(32767), int16_t(-32768)}) {
        const auto u = static_cast<uint16_t>(d);
        bytes += static_cast<char>(u & 0xFF);
        bytes += static_cast<char>(u >> 8);
    }
    EDFFile edf;
    ASSERT_TRUE(edf.readFile(dir.Write("o.edf", bytes).c_str()));
    const Values v = Retrieve(edf, 0);
    ASSERT_EQ(v.count, 3);
    for (float x : v.values) {
        EXPECT_TRUE(std::isfinite(x));
    }
}

// Cut-short files, through both reading paths for records (small records read several at a time, big ones
// one share at a time) and through a stream that cannot seek: the records the file holds are returned, the
// missing part of the last one is 0.
struct CutCase {
    std::vector<int> samplesPerRecord;
    int signal;
    int records;
    long cut; // bytes removed from the end of the file
};

TEST_F(EdfReader, FilesCutShort) {
    const CutCase cases[] = {
        {{10, 20, 30}, 1, 3, 0},
        {{10, 20, 30}, 1, 3, 60}, // record 2 loses signal 2's share only
        {{10, 20, 30}, 1, 3, 61}, // ... and the last sample of signal 1
        {{10, 20, 30}, 1, 3, 62},
        {{10, 20, 30}, 1, 3, 100},         // record 2 keeps 20 bytes: signal 1 all 0
        {{10, 20, 30}, 1, 3, 120},         // record 2 wholly missing
        {{10, 20, 30}, 1, 3, 119},         // one byte of record 2 left
        {{10, 20, 30}, 0, 3, 3 * 120},     // no records at all
        {{10, 20, 30}, 2, 3, 3 * 120 + 5}, // cut into the signal headers: refused
        {{9000, 8000}, 1, 3, 0},           // records above the whole-record size
        {{9000, 8000}, 1, 3, 7000},
        {{9000, 8000}, 1, 3, 16001},
        {{9000, 8000}, 0, 3, 34000},
        {{40000}, 0, 2, 1}, // a share bigger than one read
        {{40000}, 0, 2, 80001},
    };
    for (const CutCase& c : cases) {
        EdfSpec spec;
        spec.records = c.records;
        spec.signals.assign(c.samplesPerRecord.size(), EdfSignalSpec());
        int64_t recordBytes = 0;
        int64_t shareOffset = 0;
        for (size_t j = 0; j < c.samplesPerRecord.size(); ++j) {
            spec.signals[j].samplesPerRecord = c.samplesPerRecord[j];
            if (static_cast<int>(j) == c.signal) {
                shareOffset = recordBytes;
            }
            recordBytes += 2 * c.samplesPerRecord[j];
        }
        const std::string full = EdfFile(spec);
        const std::string bytes = full.substr(0, full.size() - static_cast<size_t>(c.cut));
        const auto dataStart = static_cast<int64_t>((c.samplesPerRecord.size() + 1) * 256);
        const int spr = c.samplesPerRecord[static_cast<size_t>(c.signal)];
        const std::string what = "signal " + std::to_string(c.signal) + " cut " + std::to_string(c.cut);

        const bool headersWhole = static_cast<int64_t>(bytes.size()) >= dataStart;
        const int64_t dataBytes = static_cast<int64_t>(bytes.size()) - dataStart;
        const int64_t recordsHeld =
            headersWhole ? std::min<int64_t>(c.records, (dataBytes + recordBytes - 1) / recordBytes) : 0;
        std::vector<float> expected;
        for (int64_t r = 0; r < recordsHeld; ++r) {
            for (int k = 0; k < spr; ++k) {
                const int64_t at = dataStart + r * recordBytes + shareOffset + 2 * k;
                expected.push_back(at + 2 <= static_cast<int64_t>(bytes.size())
                                       ? Identity(DigitalSample(c.signal, static_cast<int>(r), k))
                                       : 0.0f);
            }
        }

        EDFFile edf;
        const bool opened = edf.readFile(dir.Write("cut.edf", bytes).c_str());
        ASSERT_EQ(opened, headersWhole) << what;
        bool streamOpened = false;
        const Values streamed = RetrieveFromMemory(bytes, c.signal, &streamOpened);
        ASSERT_EQ(streamOpened, headersWhole) << what;
        if (!opened) {
            continue;
        }
        const Values v = Retrieve(edf, c.signal);
        ASSERT_EQ(v.count, static_cast<int>(expected.size())) << what;
        EXPECT_EQ(v.values, expected) << what;
        ASSERT_EQ(streamed.count, static_cast<int>(expected.size())) << what << " (stream)";
        EXPECT_EQ(streamed.values, expected) << what << " (stream)";
    }
}

// Streams of unknown size: one that can seek serves any number of retrievals; a pipe serves the first.
TEST_F(EdfReader, StreamsOfUnknownSize) {
    EdfSpec spec;
    spec.signals.assign(2, EdfSignalSpec());
    spec.signals[1].samplesPerRecord = 3;
    spec.records = 4;
    const std::string bytes = EdfFile(spec);
    EDFFile file;
    ASSERT_TRUE(file.readFile(dir.Write("s.edf", bytes).c_str()));
    const Values expected0 = Retrieve(file, 0);
    const Values expected1 = Retrieve(file, 1);
    ASSERT_EQ(expected1.count, 12);

    FILE* memory = fmemopen(const_cast<char*>(bytes.data()), bytes.size(), "rb");
    EDFFile seekable;
    ASSERT_TRUE(seekable.readStream(memory));
    for (int s : {1, 0, 1}) {
        const Values v = Retrieve(seekable, s);
        EXPECT_EQ(v.count, s == 0 ? expected0.count : expected1.count);
        EXPECT_EQ(v.values, s == 0 ? expected0.values : expected1.values);
    }

    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    std::thread writer([&] {
        size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t n = write(fds[1], bytes.data() + done, bytes.size() - done);
            if (n <= 0) {
                break;
            }
            done += static_cast<size_t>(n);
        }
        close(fds[1]);
    });
    EDFFile piped;
    ASSERT_TRUE(piped.readStream(fdopen(fds[0], "rb")));
    const Values v = Retrieve(piped, 1);
    writer.join();
    EXPECT_EQ(v.values, expected1.values);
    EXPECT_EQ(Retrieve(piped, 0).count, EDFFile::RetrieveNoSignal);
}

// A tiny file whose header announces nearly 2^31 samples: only what the file holds is allocated and read.
TEST_F(EdfReader, HugeAnnouncedCountInTinyFile) {
    EdfSpec spec;
    spec.records = 1;
    spec.recordsField = "99999999";
    spec.signals[0].samplesPerRecord = 21;
    const std::string path = Write(spec);
    LimitAllocations();
    EDFFile edf;
    ASSERT_TRUE(edf.readFile(path.c_str()));
    EXPECT_EQ(edf.announcedSampleCount(0), 2099999979);
    const Values v = Retrieve(edf, 0);
    ASSERT_EQ(v.count, 21);
    EXPECT_EQ(v.values[20], Identity(DigitalSample(0, 0, 20)));
    double* loaded = nullptr;
    ASSERT_EQ(edf.retrieveSignalSampleValues(0, loaded), 21);
    std::free(loaded);
    EXPECT_EQ(LoadEEGedf(Wide(path).c_str(), 0), 21);
    // Above INT_MAX the values cannot be counted at all.
    spec.signals[0].samplesPerRecord = 22;
    EDFFile big;
    ASSERT_TRUE(big.readFile(Write(spec, "big.edf").c_str()));
    EXPECT_EQ(big.announcedSampleCount(0), 2199999978);
    EXPECT_EQ(Retrieve(big, 0).count, EDFFile::RetrieveTooMany);
}

// A record announced far larger than the file: the count is the whole record, as for any cut-short record,
// but only what the file holds is ever written, so the process does not take the announced memory.
TEST_F(EdfReader, AHugeRecordCutShortCommitsOnlyWhatTheFileHolds) {
    EdfSpec spec;
    spec.records = 1;
    spec.signals[0].samplesPerRecord = 5; // what the file holds
    spec.signals[0].samplesField = "50000000";
    const std::string path = Write(spec);
    rusage before{};
    ASSERT_EQ(getrusage(RUSAGE_SELF, &before), 0);
    ASSERT_EQ(LoadEEGedf(Wide(path).c_str(), 0), 50000000);
#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
    // 400 MB of values announced. (Measured before the values are read below: reading maps the system's
    // shared zero page, which the resident size counts. The sanitizers' allocators may zero by hand.)
    rusage after{};
    ASSERT_EQ(getrusage(RUSAGE_SELF, &after), 0);
    EXPECT_LT(after.ru_maxrss - before.ru_maxrss, 64 * 1024) << "kB";
#endif
    const PlaybackState loaded = PlaybackState::Now();
    ASSERT_EQ(loaded.count, 50000000);
    for (int k = 0; k < 5; ++k) {
        EXPECT_EQ(loaded.samples[k], Identity(DigitalSample(0, 0, k))) << k;
    }
    for (int k = 5; k < loaded.count; k += 4093) {
        ASSERT_EQ(loaded.samples[k], 0.0) << k;
    }
    EXPECT_EQ(loaded.samples[loaded.count - 1], 0.0);
}

TEST_F(EdfReader, ZeroSamplesPerRecordYieldsNoValues) {
    EdfSpec spec;
    spec.signals.assign(2, EdfSignalSpec());
    spec.signals[0].samplesPerRecord = 0;
    EDFFile edf;
    ASSERT_TRUE(edf.readFile(Write(spec).c_str()));
    float sentinel = 1.0f;
    float* values = &sentinel; // must be replaced
    EXPECT_EQ(edf.retrieveSignalSampleValues(0, values), 0);
    EXPECT_EQ(values, nullptr);
    EXPECT_EQ(Retrieve(edf, 1).count, 20);
}

TEST_F(EdfReader, RefusesWhatCannotBeOpened) {
    EDFFile edf;
    EXPECT_FALSE(edf.readFile(dir.Path("missing.edf").c_str()));
    EXPECT_FALSE(edf.readFile(nullptr));
    EXPECT_FALSE(edf.readStream(nullptr));
    EXPECT_EQ(edf.m_pFile, nullptr);
    EXPECT_EQ(Retrieve(edf, 0).count, EDFFile::RetrieveNoSignal);
    EXPECT_FALSE(edf.readFile(dir.Write("empty.edf", "").c_str()));
    EXPECT_FALSE(edf.readFile(dir.Write("short.edf", std::string(255, ' ')).c_str()));
    EXPECT_EQ(edf.m_pFile, nullptr);
}

TEST_F(EdfReader, ParseHeaderAndSignalsCheckTheirSizes) {
    EdfSpec spec;
    std::string header = EdfHeader(spec);
    EDFHeader h;
    EXPECT_FALSE(h.ParseHeader(255, header.data()));
    EXPECT_FALSE(h.ParseHeader(257, header.data()));
    ASSERT_TRUE(h.ParseHeader(256, header.data()));
    EXPECT_FALSE(h.ParseSignals(255, header.data() + 256));
    EXPECT_FALSE(h.ParseSignals(512, header.data() + 256));
    EXPECT_TRUE(h.ParseSignals(256, header.data() + 256));
}

TEST_F(EdfReader, FieldBufferTrimsSpacesOnly) {
    const char buffer[] = "ab  \t  cd      ";
    EXPECT_STREQ(EDFHeader::getFixedLengthCharArrayFromHeader(buffer, 7, 0, true), "ab  \t");
    EXPECT_STREQ(EDFHeader::getFixedLengthCharArrayFromHeader(buffer, 8, 0, false), "ab  \t  c");
    EXPECT_STREQ(EDFHeader::getFixedLengthCharArrayFromHeader(buffer, 4, 11, true), "");
    EXPECT_STREQ(EDFHeader::getFixedLengthCharArrayFromHeader(buffer, 2, 7, true), "cd");
}

// ---- In-place header corruption: patch one field, expect the exact refusal, put it back, expect success. --

struct Patch {
    const char* what;
    size_t offset; // in the file
    std::string bytes;
    int expected; // LoadEEGedf result with the patch
};

class EdfCorruption : public EdfReader {
protected:
    void SetUp() override {
        spec.records = 3;
        spec.signals.assign(2, EdfSignalSpec());
        spec.signals[0].samplesPerRecord = 10;
        spec.signals[1].samplesPerRecord = 5;
        original = EdfFile(spec);
        path = dir.Write("c.edf", original);
    }
    int Load(int signal = 0) { return LoadEEGedf(Wide(path).c_str(), signal); }

    EdfSpec spec;
    std::string original;
    std::string path;
};

TEST_F(EdfCorruption, EachFieldPatchedAndRestored) {
    using F = EdfField;
    auto main = [](F f, const std::string& text) {
        return std::make_pair(EdfFieldOffset(f), Field(text, EdfFieldWidth(f)));
    };
    auto sig = [](int k, size_t i, const std::string& text, size_t width) {
        return std::make_pair(EdfSignalFieldOffset(2, k, i), Field(text, width));
    };
    std::vector<Patch> patches;
    auto add = [&](const char* what, std::pair<size_t, std::string> p, int expected) {
        patches.push_back({what, p.first, p.second, expected});
    };
    add("header bytes 0", main(F::Bytes, "0"), -1);
    add("header bytes blank", main(F::Bytes, ""), -1);
    add("header bytes text", main(F::Bytes, "abc"), -1);
    add("records 0", main(F::Records, "0"), -1);
    add("records -1", main(F::Records, "-1"), -1);
    add("records blank", main(F::Records, ""), -1);
    add("duration 0", main(F::Duration, "0"), -1);
    add("duration 0.0", main(F::Duration, "0.0"), -1);
    add("duration -1", main(F::Duration, "-1"), -1);
    add("duration -0.5", main(F::Duration, "-0.5"), -1);
    add("duration blank", main(F::Duration, ""), -1);
    add("duration text", main(F::Duration, "abc"), -1);
    add("duration nan", main(F::Duration, "nan"), -1);
    add("duration inf", main(F::Duration, "inf"), -1);
    add("duration overflows", main(F::Duration, "1e999"), -1);
    add("duration underflows to 0", main(F::Duration, "1e-999"), -1);
    add("signals 0", main(F::Signals, "0"), -1);
    add("signals -2", main(F::Signals, "-2"), -1);
    add("signals 257", main(F::Signals, "257"), -1);
    add("signals text", main(F::Signals, "ab"), -1);
    add("signals 3 (headers short)", main(F::Signals, "3"), -1);
    add("samples per record text", sig(8, 0, "ten", 8), -1);
    add("samples per record blank", sig(8, 1, "", 8), -1);
    add("samples per record -5", sig(8, 1, "-5", 8), -1);
    add("rate below 1 per second", main(F::Duration, "11"), 30);
    add("rate too high to be finite", main(F::Duration, "1e-320"), -2);
    // Fields that never refuse a file.
    add("version", main(F::Version, "garbage"), 30);
    add("patient", main(F::Patient, "X"), 30);
    add("recording", main(F::Recording, "Recording of something"), 30);
    add("start date", main(F::StartDate, "X"), 30);
    add("start time", main(F::StartTime, ""), 30);
    add("reserved", main(F::Reserved, "EDF+D"), 30);
    add("physical minimum", sig(3, 0, "abc", 8), 30);
    add("digital maximum", sig(6, 1, "", 8), 30);
    add("label", sig(0, 0, "", 16), 30);
    add("records fraction", main(F::Records, "3.9"), 30);
    add("duration fraction", main(F::Duration, "1.9"), 30);
    add("duration below a second", main(F::Duration, "0.5"), 30);
    add("fewer records than held", main(F::Records, "2"), 20);
    add("more records than held", main(F::Records, "1000"), 30);
    add("records at the field's limit", main(F::Records, "99999999"), 30);

    ASSERT_EQ(Load(), 30);
    for (const Patch& p : patches) {
        std::string bytes = original;
        bytes.replace(p.offset, p.bytes.size(), p.bytes);
        WriteAll(path, bytes);
        EXPECT_EQ(Load(), p.expected) << p.what;
        WriteAll(path, original);
        ASSERT_EQ(Load(), 30) << "after restoring " << p.what;
    }
}

TEST_F(EdfCorruption, AnnouncedCountAboveIntMaxIsNoMemory) {
    std::string bytes = original;
    bytes.replace(EdfFieldOffset(EdfField::Records), 8, Field("99999999", 8));
    bytes.replace(EdfSignalFieldOffset(2, 8, 0), 8, Field("22", 8));
    WriteAll(path, bytes);
    ASSERT_EQ(
        LoadEEGbin(Wide(dir.Write("ok.bin", std::string("\x00\x0A\x00\x00\x00\x01\x00\x07", 8))).c_str()), 1);
    EXPECT_EQ(Load(), -4);
    EXPECT_EQ(g_pECGFile, nullptr);
    EXPECT_EQ(g_nECGFileSize, 0);
    WriteAll(path, original);
    EXPECT_EQ(Load(), 30);
}

TEST_F(EdfCorruption, CutHeadersAreRefused) {
    for (size_t keep : {size_t(0), size_t(1), size_t(255), size_t(256), size_t(511), size_t(767)}) {
        WriteAll(path, original.substr(0, keep));
        EXPECT_EQ(Load(), -1) << keep;
    }
    WriteAll(path, original.substr(0, 768));
    EXPECT_EQ(Load(), 0);
    WriteAll(path, original);
    EXPECT_EQ(Load(), 30);
}

// ---- LoadEEGedf ----------------------------------------------------------------------------------------

TEST_F(EdfReader, LoadEEGedfSampleRates) {
    struct Case {
        int samplesPerRecord;
        const char* duration;
        double rate;
    };
    // Samples per record over the record's duration, a decimal number of seconds: nothing is cut off.
    for (const Case c : {Case{256, "1", 256.0}, Case{1000, "3", 1000.0 / 3.0}, Case{500, "2", 250.0},
                         Case{7, "1", 7.0}, Case{7, "2", 3.5}, Case{30, "1.5", 20.0}, Case{256, "0.5", 512.0},
                         Case{100, "0.25", 400.0}, Case{10, "30", 10.0 / 30.0}, Case{1, "0.001", 1000.0},
                         Case{200, " 0.5", 400.0}, Case{200, "+.5", 400.0}, Case{9, "2.5e-1", 36.0}}) {
        EdfSpec spec;
        spec.records = 2;
        spec.duration = c.duration;
        spec.signals[0].samplesPerRecord = c.samplesPerRecord;
        ASSERT_EQ(LoadEEGedf(Wide(Write(spec)).c_str(), 0), 2 * c.samplesPerRecord) << c.duration;
        EXPECT_EQ(g_fECGFileFreq, c.rate) << c.samplesPerRecord << " per " << c.duration;
        EXPECT_EQ(g_nECGFileSize, 2 * c.samplesPerRecord);
    }
}

TEST_F(EdfReader, LoadEEGedfStoresPhysicalValuesUnclampedAndKeepsThePeak) {
    EdfSpec spec;
    spec.signals.assign(2, EdfSignalSpec());
    spec.signals[1].physicalMin = "-327680";
    spec.signals[1].physicalMax = "327670";
    spec.signals[1].samplesPerRecord = 4;
    const std::string path = Write(spec);
    // A text load sets the peak; the EDF load leaves it.
    ASSERT_EQ(LoadEEGtxt(Wide(dir.Write("p.txt", "100\n1\n1234\n")).c_str()), 1);
    ASSERT_DOUBLE_EQ(g_fECGFileMax, 1.234);
    ASSERT_EQ(LoadEEGedf(Wide(path).c_str(), 1), 8);
    EXPECT_DOUBLE_EQ(g_fECGFileMax, 1.234);
    EXPECT_EQ(g_fECGFileFreq, 4.0);
    bool beyond = false;
    for (int r = 0; r < 2; ++r) {
        for (int k = 0; k < 4; ++k) {
            const double expected = 10.0 * DigitalSample(1, r, k);
            EXPECT_NEAR(g_pECGFile[r * 4 + k], expected, std::fabs(expected) * 1e-6 + 1e-3);
            beyond = beyond || std::fabs(expected) > 5000.0;
        }
    }
    EXPECT_TRUE(beyond) << "the fixture should hold values beyond the text clamp";
}

TEST_F(EdfReader, LoadEEGedfSignalIndexAndRefusalsKeepTheRecording) {
    EdfSpec spec;
    spec.signals.assign(3, EdfSignalSpec());
    const std::string path = Write(spec);
    ASSERT_EQ(LoadEEGedf(Wide(path).c_str(), 2), 20);
    const PlaybackState before = PlaybackState::Now();
    const std::vector<double> values = before.Values();

    EXPECT_EQ(LoadEEGedf(Wide(path).c_str(), 3), -2);
    EXPECT_EQ(LoadEEGedf(Wide(path).c_str(), -1), -2);
    EXPECT_EQ(LoadEEGedf(Wide(path).c_str(), INT_MAX), -2);
    EXPECT_EQ(LoadEEGedf(Wide(dir.Path("missing.edf")).c_str(), 0), -1);
    EXPECT_EQ(LoadEEGedf(nullptr, 0), -1);
    EXPECT_EQ(LoadEEGedf(Wide(dir.Write("bad.edf", "not an EDF file")).c_str(), 0), -1);
    EdfSpec empty = spec;
    empty.signals[0].samplesPerRecord = 0; // a rate of 0
    EXPECT_EQ(LoadEEGedf(Wide(Write(empty, "empty.edf")).c_str(), 0), -2);

    const PlaybackState after = PlaybackState::Now();
    EXPECT_EQ(after.samples, before.samples);
    EXPECT_EQ(after.count, before.count);
    EXPECT_EQ(after.rate, before.rate);
    EXPECT_EQ(after.Values(), values);
}

TEST_F(EdfReader, LoadEEGedfOfAFileWithoutDataRecordsIsEmpty) {
    EdfSpec spec;
    const std::string header = EdfHeader(spec);
    ASSERT_EQ(LoadEEGtxt(Wide(dir.Write("p.txt", "100\n1\n5\n")).c_str()), 1);
    EXPECT_EQ(LoadEEGedf(Wide(dir.Write("h.edf", header)).c_str(), 0), 0);
    EXPECT_EQ(g_pECGFile, nullptr);
    EXPECT_EQ(g_nECGFileSize, 0);
    EXPECT_EQ(g_fECGFileFreq, 10.0);
}

} // namespace
