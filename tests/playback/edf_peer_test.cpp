// Our EDF reader against a real peer: files written by EDFlib at test time, read by both. Every value must
// equal EDFlib's physical value within single-precision rounding; header fields as EDFlib reports them.
#include "PlaybackTestSupport.h"

#include "playback/EDFFile.h"
#include "qolt_api.h"

#include <edflib.h>
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

using namespace playback_test;

namespace {

struct PeerSignal {
    const char* label;
    int samplesPerRecord; // EDFlib's "sample frequency", which is samples per record
    double physicalMin;
    double physicalMax;
    int digitalMin;
    int digitalMax;
    const char* dimension;
    const char* prefilter;
    const char* transducer;
};

struct PeerFile {
    std::vector<PeerSignal> signals;
    int records = 5;
    int recordDuration10us = 100000; // EDFlib's unit: 10 microseconds
    bool setIdentification = true;
    int year = 2002, month = 3, day = 2, hour = 13, minute = 5, second = 9;
};

const std::vector<PeerSignal> kSignals = {
    {"EEG Fpz-Cz", 256, -3276.8, 3276.7, -32768, 32767, "uV", "HP:0.1Hz LP:75Hz N:50Hz", "AgAgCl electrode"},
    {"Resp abdomen", 100, 0.0, 100.0, -1000, 1000, "%", "", "Strain gauge"},
    {"Temp rectal", 7, 34.4, 40.2, -2048, 2047, "degC", "LP:0.1Hz", "Thermistor"},
    {"Event marker", 1, -500.0, 500.0, 0, 600, "mV", "", ""},
    {"ECG", 33, -12.5, 7.25, -32000, 31000, "mV", "HP:0.05Hz", "Ag electrode"},
};

// Some of the signals above, in the given order.
std::vector<PeerSignal> Pick(std::initializer_list<int> which) {
    std::vector<PeerSignal> out;
    for (int i : which) {
        out.push_back(kSignals[static_cast<size_t>(i)]);
    }
    return out;
}

// Digital value k of signal s in record r, spread over the signal's digital range, limits included.
int DigitalValue(const PeerSignal& sig, int s, int r, int k) {
    const int span = sig.digitalMax - sig.digitalMin + 1;
    if (k == 0) {
        return sig.digitalMin;
    }
    if (k == 1) {
        return sig.digitalMax;
    }
    const auto x = static_cast<uint32_t>(DigitalSample(s, r, k)) + 32768u;
    return sig.digitalMin + static_cast<int>(x % static_cast<uint32_t>(span));
}

// Writes the file with EDFlib; returns false (with a failure recorded) when EDFlib refuses.
bool WriteWithEdflib(const std::string& path, const PeerFile& f) {
    const int ns = static_cast<int>(f.signals.size());
    const int h = edfopen_file_writeonly(path.c_str(), EDFLIB_FILETYPE_EDFPLUS, ns);
    if (h < 0) {
        ADD_FAILURE() << "edfopen_file_writeonly: " << h;
        return false;
    }
    bool ok = edf_set_datarecord_duration(h, f.recordDuration10us) == 0;
    for (int s = 0; s < ns; ++s) {
        const PeerSignal& sig = f.signals[static_cast<size_t>(s)];
        ok = ok && edf_set_samplefrequency(h, s, sig.samplesPerRecord) == 0;
        ok = ok && edf_set_physical_minimum(h, s, sig.physicalMin) == 0;
        ok = ok && edf_set_physical_maximum(h, s, sig.physicalMax) == 0;
        ok = ok && edf_set_digital_minimum(h, s, sig.digitalMin) == 0;
        ok = ok && edf_set_digital_maximum(h, s, sig.digitalMax) == 0;
        ok = ok && edf_set_label(h, s, sig.label) == 0;
        ok = ok && edf_set_physical_dimension(h, s, sig.dimension) == 0;
        ok = ok && edf_set_prefilter(h, s, sig.prefilter) == 0;
        ok = ok && edf_set_transducer(h, s, sig.transducer) == 0;
    }
    ok = ok && edf_set_startdatetime(h, f.year, f.month, f.day, f.hour, f.minute, f.second) == 0;
    if (f.setIdentification) {
        ok = ok && edf_set_patientcode(h, "MCH-0234567") == 0;
        ok = ok && edf_set_gender(h, 1) == 0;
        ok = ok && edf_set_birthdate(h, 1951, 5, 2) == 0;
        ok = ok && edf_set_patientname(h, "Haagse Harry") == 0;
        ok = ok && edf_set_patient_additional(h, "left handed") == 0;
        ok = ok && edf_set_admincode(h, "EMR-0042") == 0;
        ok = ok && edf_set_technician(h, "J.Tech") == 0;
        ok = ok && edf_set_equipment(h, "Amp3") == 0;
        ok = ok && edf_set_recording_additional(h, "night one") == 0;
    }
    std::vector<short> buf;
    for (int r = 0; r < f.records && ok; ++r) {
        for (int s = 0; s < ns && ok; ++s) {
            const PeerSignal& sig = f.signals[static_cast<size_t>(s)];
            const int n = sig.samplesPerRecord; // EDFlib's "sample frequency" is per record
            buf.resize(static_cast<size_t>(n));
            for (int k = 0; k < n; ++k) {
                buf[static_cast<size_t>(k)] = static_cast<short>(DigitalValue(sig, s, r, k));
            }
            ok = edfwrite_digital_short_samples(h, buf.data()) == 0;
        }
    }
    ok = ok && edfwrite_annotation_latin1(h, 0, -1, "Recording starts") == 0;
    ok = ok && edfwrite_annotation_latin1(h, 15000, 5000, "Eyes closed") == 0;
    if (edfclose_file(h) != 0 || !ok) {
        ADD_FAILURE() << "EDFlib could not write " << path;
        return false;
    }
    return true;
}

std::string TrimRight(std::string s) {
    while (!s.empty() && s.back() == ' ') {
        s.pop_back();
    }
    return s;
}

std::string Join(const std::vector<std::string>& parts) {
    std::string s;
    for (const std::string& p : parts) {
        s += (s.empty() ? "" : " ") + p;
    }
    return s;
}

std::string UnderscoresToSpaces(std::string s) {
    for (char& c : s) {
        if (c == '_') {
            c = ' ';
        }
    }
    return s;
}

// A value computed in single precision from single-precision limits: allow a few units of the last place
// at the signal's own scale.
double Tolerance(const edf_param_struct& p, double value) {
    const double scale = std::max({std::fabs(p.phys_min), std::fabs(p.phys_max), std::fabs(value)});
    return 8 * FLT_EPSILON * scale;
}

class EdfPeer : public ::testing::Test {
protected:
    TempDir dir;

    void TearDown() override {
        if (handle >= 0) {
            edfclose_file(handle);
        }
    }

    void Open(const std::string& path) {
        ASSERT_EQ(edfopen_file_readonly(path.c_str(), &hdr, EDFLIB_READ_ALL_ANNOTATIONS), 0)
            << "EDFlib error " << hdr.filetype;
        handle = hdr.handle;
        ASSERT_TRUE(ours.readFile(path.c_str()));
    }

    // Every signal EDFlib shows: header fields, all values, and LoadEEGedf's count, rate and values. mine is
    // our reader on the file at path (by default the file EDFlib opened).
    void CompareSignals(const std::string& path) { CompareSignals(ours, path); }
    void CompareSignals(EDFFile& mine, const std::string& path) {
        const EDFHeader& h = mine.m_Header;
        // EDFlib hides the annotation signal it wrote last; we read it as a signal like any other.
        ASSERT_EQ(h.m_nNumberOfSignals, hdr.edfsignals + 1);
        EXPECT_EQ(h.m_pSignals[hdr.edfsignals]->m_strLabel, "EDF Annotations");
        EXPECT_EQ(h.m_nNumberOfDataRecords, hdr.datarecords_in_file);
        EXPECT_EQ(std::llround(h.m_fDurationOfDataRecord * EDFLIB_TIME_DIMENSION), hdr.datarecord_duration);
        for (int s = 0; s < hdr.edfsignals; ++s) {
            SCOPED_TRACE("signal " + std::to_string(s));
            const edf_param_struct& p = hdr.signalparam[s];
            const EDFSignal& sig = *h.m_pSignals[s];
            EXPECT_EQ(sig.m_strLabel, TrimRight(p.label));
            EXPECT_EQ(sig.m_strPhysicalDimension, TrimRight(p.physdimension));
            EXPECT_EQ(sig.m_strPrefiltering, TrimRight(p.prefilter));
            EXPECT_EQ(sig.m_strTransducerType, TrimRight(p.transducer));
            EXPECT_FLOAT_EQ(sig.m_fPhysicalMinimum, static_cast<float>(p.phys_min));
            EXPECT_FLOAT_EQ(sig.m_fPhysicalMaximum, static_cast<float>(p.phys_max));
            EXPECT_EQ(sig.m_fDigitalMinimum, static_cast<float>(p.dig_min));
            EXPECT_EQ(sig.m_fDigitalMaximum, static_cast<float>(p.dig_max));
            EXPECT_EQ(sig.m_nNumberOfSamplesInDataRecord, p.smp_in_datarecord);

            std::vector<double> theirs(static_cast<size_t>(p.smp_in_file));
            edfrewind(handle, s);
            ASSERT_EQ(edfread_physical_samples(handle, s, static_cast<int>(theirs.size()), theirs.data()),
                      static_cast<int>(theirs.size()));
            float* values = nullptr;
            const int count = mine.retrieveSignalSampleValues(s, values);
            ASSERT_EQ(count, p.smp_in_file);
            for (int i = 0; i < count; ++i) {
                ASSERT_NEAR(values[i], theirs[static_cast<size_t>(i)],
                            Tolerance(p, theirs[static_cast<size_t>(i)]))
                    << "sample " << i;
            }
            std::free(values);

            ASSERT_EQ(LoadEEGedf(Wide(path).c_str(), s), count);
            // EDFlib's sample frequency: samples per record over the record's duration.
            EXPECT_DOUBLE_EQ(g_fECGFileFreq, static_cast<double>(p.smp_in_datarecord) *
                                                 EDFLIB_TIME_DIMENSION /
                                                 static_cast<double>(hdr.datarecord_duration));
            for (int i = 0; i < count; ++i) {
                ASSERT_NEAR(g_pECGFile[i], theirs[static_cast<size_t>(i)],
                            Tolerance(p, theirs[static_cast<size_t>(i)]))
                    << "loaded sample " << i;
            }
        }
        // The annotation signal loads as its bytes read as samples.
        const int annotations = hdr.edfsignals;
        const int64_t expected =
            static_cast<int64_t>(h.m_pSignals[annotations]->m_nNumberOfSamplesInDataRecord) *
            h.m_nNumberOfDataRecords;
        EXPECT_EQ(LoadEEGedf(Wide(path).c_str(), annotations), expected);
        EXPECT_EQ(LoadEEGedf(Wide(path).c_str(), annotations + 1), -2);
    }

    void CompareIdentification(bool known) {
        const EDFHeader& h = ours.m_Header;
        EXPECT_TRUE(h.m_bIsEDFPlus);
        EXPECT_EQ(h.m_nStartDate, hdr.startdate_year * 10000 + hdr.startdate_month * 100 + hdr.startdate_day);
        EXPECT_EQ(h.m_nStartTime,
                  hdr.starttime_hour * 10000 + hdr.starttime_minute * 100 + hdr.starttime_second);
        EXPECT_EQ(h.m_RecordingIdentification.m_nStartDate, h.m_nStartDate);
        const EDFLocalPatientIdentification& pat = h.m_PatientIdentification;
        const EDFLocalRecordingIdentification& rec = h.m_RecordingIdentification;
        if (known) {
            EXPECT_EQ(pat.m_strPatientCode, hdr.patientcode);
            EXPECT_EQ(std::string(hdr.gender), pat.m_strSex == "M"   ? "Male"
                                               : pat.m_strSex == "F" ? "Female"
                                                                     : "?");
            EXPECT_EQ(pat.m_nBirthdate,
                      hdr.birthdate_year * 10000 + hdr.birthdate_month * 100 + hdr.birthdate_day);
            EXPECT_EQ(UnderscoresToSpaces(pat.m_strPatientName), hdr.patient_name);
            EXPECT_EQ(UnderscoresToSpaces(Join(pat.m_FurtherSubFields)), TrimRight(hdr.patient_additional));
            EXPECT_EQ(rec.m_strHospitalAdministrationCode, hdr.admincode);
            EXPECT_EQ(rec.m_strTechnicianCode, hdr.technician);
            EXPECT_EQ(rec.m_strEquipmentCode, hdr.equipment);
            EXPECT_EQ(UnderscoresToSpaces(Join(rec.m_FurtherSubFields)), TrimRight(hdr.recording_additional));
        } else {
            // EDFlib writes the unknown mark for every sub-field; as a date it is our default.
            EXPECT_EQ(std::string(hdr.birthdate), "");
            EXPECT_EQ(pat.m_strPatientCode, "X");
            EXPECT_EQ(pat.m_strSex, "X");
            EXPECT_EQ(pat.m_nBirthdate, 20110101);
            EXPECT_EQ(pat.m_strPatientName, "X");
            EXPECT_EQ(rec.m_strHospitalAdministrationCode, "X");
            EXPECT_EQ(rec.m_strTechnicianCode, "X");
            EXPECT_EQ(rec.m_strEquipmentCode, "X");
        }
    }

    edf_hdr_struct hdr{};
    int handle = -1;
    EDFFile ours;
};

TEST_F(EdfPeer, ContinuousFileWithSeveralSignalsAndAnnotations) {
    PeerFile f;
    f.signals = kSignals;
    const std::string path = dir.Path("c.edf");
    ASSERT_TRUE(WriteWithEdflib(path, f));
    Open(path);
    EXPECT_EQ(hdr.filetype, EDFLIB_FILETYPE_EDFPLUS);
    EXPECT_EQ(ours.m_Header.m_strReserved, "EDF+C");
    EXPECT_EQ(hdr.annotations_in_file, 2);
    CompareIdentification(true);
    CompareSignals(path);
}

TEST_F(EdfPeer, UnknownIdentificationSubFields) {
    PeerFile f;
    f.signals = Pick({0, 2});
    f.setIdentification = false;
    f.year = 2031;
    f.month = 12;
    f.day = 31;
    f.hour = 0;
    f.minute = 0;
    f.second = 1;
    const std::string path = dir.Path("x.edf");
    ASSERT_TRUE(WriteWithEdflib(path, f));
    Open(path);
    EXPECT_EQ(ours.m_Header.m_nStartDate, 20311231);
    CompareIdentification(false);
    CompareSignals(path);
}

// Record durations EDFlib writes as decimal numbers of seconds ("0.5", "1.5"): the rate is samples per record
// over that duration, as EDFlib computes it.
class EdfPeerRecordDuration : public EdfPeer, public ::testing::WithParamInterface<int> {};

TEST_P(EdfPeerRecordDuration, RateFollowsTheDecimalDuration) {
    PeerFile f;
    f.signals = Pick({0, 1, 4});
    f.recordDuration10us = GetParam();
    f.records = 3;
    const std::string path = dir.Path("d.edf");
    ASSERT_TRUE(WriteWithEdflib(path, f));
    Open(path);
    EXPECT_EQ(hdr.datarecord_duration, static_cast<long long>(GetParam()) * (EDFLIB_TIME_DIMENSION / 100000));
    CompareSignals(path);
}

INSTANTIATE_TEST_SUITE_P(Durations, EdfPeerRecordDuration,
                         ::testing::Values(200000, 150000, 50000, 25000, 1000),
                         [](const ::testing::TestParamInfo<int>& info) {
                             return std::to_string(info.param / 100) + "ms";
                         });

// EDF+D: EDFlib writes continuous files only and refuses to read discontinuous ones, so a file it wrote is
// made discontinuous in place: the marker alone, then also a 5-second gap in the record start times. We read
// the records back to back, their start times ignored: the values EDFlib reads from the continuous original.
TEST_F(EdfPeer, DiscontinuousFile) {
    PeerFile f;
    f.signals = Pick({0, 3, 1});
    f.records = 5;
    const std::string path = dir.Path("c.edf");
    ASSERT_TRUE(WriteWithEdflib(path, f));
    Open(path);

    std::string marked = ReadAll(path);
    ASSERT_EQ(marked.compare(192, 5, "EDF+C"), 0);
    marked.replace(192, 5, "EDF+D");
    std::string gapped = marked;
    const EDFHeader& h = ours.m_Header;
    int64_t recordBytes = 0;
    int64_t annotationOffset = 0;
    for (int j = 0; j < h.m_nNumberOfSignals; ++j) {
        if (j == h.m_nNumberOfSignals - 1) {
            annotationOffset = recordBytes;
        }
        recordBytes += 2 * h.m_pSignals[j]->m_nNumberOfSamplesInDataRecord;
    }
    const int64_t dataStart = (h.m_nNumberOfSignals + 1) * 256;
    for (int r = 2; r < 5; ++r) {
        const auto at = static_cast<size_t>(dataStart + r * recordBytes + annotationOffset);
        const std::string onset = "+" + std::to_string(r) + "\x14\x14";
        ASSERT_EQ(gapped.compare(at, onset.size(), onset), 0) << "record " << r;
        gapped[at + 1] = static_cast<char>('0' + r + 5);
    }

    for (const auto& [name, bytes] :
         {std::make_pair("marked.edf", marked), std::make_pair("gapped.edf", gapped)}) {
        SCOPED_TRACE(name);
        const std::string discontinuous = dir.Write(name, bytes);
        edf_hdr_struct refused{};
        EXPECT_EQ(edfopen_file_readonly(discontinuous.c_str(), &refused, EDFLIB_READ_ALL_ANNOTATIONS), -1);
        EXPECT_EQ(refused.filetype, EDFLIB_FILE_IS_DISCONTINUOUS);
        EDFFile mine;
        ASSERT_TRUE(mine.readFile(discontinuous.c_str()));
        EXPECT_EQ(mine.m_Header.m_strReserved, "EDF+D");
        EXPECT_TRUE(mine.m_Header.m_bIsEDFPlus);
        EXPECT_EQ(mine.m_Header.m_PatientIdentification.m_strPatientCode, "MCH-0234567");
        CompareSignals(mine, discontinuous);
    }
}

} // namespace
