#pragma once

// Helpers of the playback tests: temporary files, hand-made EDF files, and the playback buffer's state.

#include "synth/PlaybackBuffer.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/resource.h>
#include <vector>

// Sanitizer builds: an allocation above 1 GiB fails (returns null) instead of aborting the test program.
#if defined(__SANITIZE_ADDRESS__)
extern "C" __attribute__((visibility("default"))) const char* __asan_default_options() {
    return "allocator_may_return_null=1:max_allocation_size_mb=1024";
}
#elif defined(__SANITIZE_THREAD__)
extern "C" __attribute__((visibility("default"))) const char* __tsan_default_options() {
    return "allocator_may_return_null=1:max_allocation_size_mb=1024";
}
#endif

namespace playback_test {

// From here on no allocation can exceed 1 GiB: a loader that allocates what a header announces instead of
// what the file holds fails. Sanitizer builds get the limit from their options above (their shadow memory
// needs the address space an address-space limit would take).
inline void LimitAllocations() {
#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
    rlimit limit{rlim_t(1) << 30, rlim_t(1) << 30};
    ASSERT_EQ(setrlimit(RLIMIT_AS, &limit), 0);
#endif
}

// A directory of its own per test, removed afterwards.
class TempDir {
public:
    TempDir() {
        std::string pattern = (std::filesystem::temp_directory_path() / "qolt-playback-XXXXXX").string();
        std::vector<char> buf(pattern.begin(), pattern.end());
        buf.push_back('\0');
        const char* made = mkdtemp(buf.data());
        if (made == nullptr) {
            ADD_FAILURE() << "mkdtemp failed";
            return;
        }
        m_Path = made;
    }
    ~TempDir() {
        std::error_code ec;
        std::filesystem::remove_all(m_Path, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    std::string Path(const std::string& name) const { return (m_Path / name).string(); }

    std::string Write(const std::string& name, const std::string& bytes) const {
        const std::string path = Path(name);
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        EXPECT_TRUE(out.good()) << path;
        return path;
    }

private:
    std::filesystem::path m_Path;
};

inline std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void WriteAll(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// ASCII paths only (the tests' temporary paths are ASCII).
inline std::wstring Wide(const std::string& ascii) {
    return std::wstring(ascii.begin(), ascii.end());
}

// The playback buffer as the tests see it.
struct PlaybackState {
    const double* samples;
    int count;
    double rate;
    double max;

    static PlaybackState Now() { return {g_pECGFile, g_nECGFileSize, g_fECGFileFreq, g_fECGFileMax}; }
    std::vector<double> Values() const {
        return samples == nullptr ? std::vector<double>() : std::vector<double>(samples, samples + count);
    }
};

inline std::vector<double> LoadedValues() {
    return PlaybackState::Now().Values();
}

// ---- Hand-made EDF files ----------------------------------------------------------------------------------

inline std::string Field(const std::string& text, size_t width) {
    std::string s = text.substr(0, width);
    s.resize(width, ' ');
    return s;
}

struct EdfSignalSpec {
    std::string label = "EEG";
    std::string transducer = "AgAgCl electrode";
    std::string dimension = "uV";
    std::string physicalMin = "-32768";
    std::string physicalMax = "32767";
    std::string digitalMin = "-32768";
    std::string digitalMax = "32767";
    std::string prefiltering = "HP:0.1Hz";
    int samplesPerRecord = 10;
    std::string samplesField; // overrides samplesPerRecord in the header when set
};

struct EdfSpec {
    std::string version = "0";
    std::string patient = "P-0042 F 02-MAY-1951 Patient_A";
    std::string recording = "Startdate 02-MAR-2002 A-17 T1 Amp3";
    std::string startDate = "02.03.02";
    std::string startTime = "13.05.09";
    std::string headerBytes; // default: the real header size
    std::string reserved = "";
    int records = 2;
    std::string recordsField; // overrides records in the header when set
    std::string duration = "1";
    std::string signalsField; // default: the number of signals
    std::vector<EdfSignalSpec> signals = {EdfSignalSpec()};
};

// Digital sample k of signal s in record r: a spread of values over the whole 16-bit range.
inline int16_t DigitalSample(int s, int r, int k) {
    const uint32_t x = static_cast<uint32_t>(s) * 7919u + static_cast<uint32_t>(r) * 104729u +
                       static_cast<uint32_t>(k) * 2654435761u;
    return static_cast<int16_t>(static_cast<uint16_t>(x >> 7));
}

inline std::string EdfHeader(const EdfSpec& spec) {
    const size_t ns = spec.signals.size();
    std::string h;
    h += Field(spec.version, 8);
    h += Field(spec.patient, 80);
    h += Field(spec.recording, 80);
    h += Field(spec.startDate, 8);
    h += Field(spec.startTime, 8);
    h += Field(spec.headerBytes.empty() ? std::to_string((ns + 1) * 256) : spec.headerBytes, 8);
    h += Field(spec.reserved, 44);
    h += Field(spec.recordsField.empty() ? std::to_string(spec.records) : spec.recordsField, 8);
    h += Field(spec.duration, 8);
    h += Field(spec.signalsField.empty() ? std::to_string(ns) : spec.signalsField, 4);
    auto each = [&](auto get, size_t width) {
        for (const EdfSignalSpec& s : spec.signals) {
            h += Field(get(s), width);
        }
    };
    each([](const EdfSignalSpec& s) { return s.label; }, 16);
    each([](const EdfSignalSpec& s) { return s.transducer; }, 80);
    each([](const EdfSignalSpec& s) { return s.dimension; }, 8);
    each([](const EdfSignalSpec& s) { return s.physicalMin; }, 8);
    each([](const EdfSignalSpec& s) { return s.physicalMax; }, 8);
    each([](const EdfSignalSpec& s) { return s.digitalMin; }, 8);
    each([](const EdfSignalSpec& s) { return s.digitalMax; }, 8);
    each([](const EdfSignalSpec& s) { return s.prefiltering; }, 80);
    each(
        [](const EdfSignalSpec& s) {
            return s.samplesField.empty() ? std::to_string(s.samplesPerRecord) : s.samplesField;
        },
        8);
    each([](const EdfSignalSpec&) { return std::string(); }, 32);
    return h;
}

// Header plus spec.records data records of DigitalSample values.
inline std::string EdfFile(const EdfSpec& spec) {
    std::string f = EdfHeader(spec);
    for (int r = 0; r < spec.records; ++r) {
        for (size_t s = 0; s < spec.signals.size(); ++s) {
            for (int k = 0; k < spec.signals[s].samplesPerRecord; ++k) {
                const auto d = static_cast<uint16_t>(DigitalSample(static_cast<int>(s), r, k));
                f += static_cast<char>(d & 0xFF);
                f += static_cast<char>(d >> 8);
            }
        }
    }
    return f;
}

// Offset of the main header field that starts with the given name.
enum class EdfField {
    Version,
    Patient,
    Recording,
    StartDate,
    StartTime,
    Bytes,
    Reserved,
    Records,
    Duration,
    Signals
};
inline size_t EdfFieldOffset(EdfField f) {
    static const size_t offsets[] = {0, 8, 88, 168, 176, 184, 192, 236, 244, 252};
    return offsets[static_cast<int>(f)];
}
inline size_t EdfFieldWidth(EdfField f) {
    static const size_t widths[] = {8, 80, 80, 8, 8, 8, 44, 8, 8, 4};
    return widths[static_cast<int>(f)];
}

// Offset of field k (0 label ... 8 samples per record) of signal i among ns signals.
inline size_t EdfSignalFieldOffset(size_t ns, int k, size_t i) {
    static const size_t widths[] = {16, 80, 8, 8, 8, 8, 8, 80, 8, 32};
    size_t before = 0;
    for (int j = 0; j < k; ++j) {
        before += widths[j];
    }
    return 256 + ns * before + i * widths[k];
}

} // namespace playback_test
