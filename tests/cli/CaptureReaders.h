// Reading captures back the way their users do: EDF+ through EDFlib (a peer implementation), CSV by its
// documented columns, and the EDF expectation from the samples (each repeated for its ticks at 10 kHz).
#pragma once

#include "sim/Capture.h"

#include <edflib.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

namespace clitest {

struct EdfContent {
    int openError = 0; // EDFlib's filetype code when it refused the file
    int fileType = -1;
    int signals = 0;
    double rate = 0.0;
    double bitValue = 0.0; // physical step of one digital unit
    long long records = 0;
    double recordSeconds = 0.0;
    std::string label;
    std::vector<double> samples;
    std::vector<std::pair<long long, std::string>> annotations; // onset in 100 ns units, text
};

inline EdfContent ReadEdf(const std::string& path) {
    EdfContent c;
    edf_hdr_struct hdr{};
    if (edfopen_file_readonly(path.c_str(), &hdr, EDFLIB_READ_ALL_ANNOTATIONS) != 0) {
        c.openError = hdr.filetype;
        return c;
    }
    c.fileType = hdr.filetype;
    c.signals = hdr.edfsignals;
    c.records = hdr.datarecords_in_file;
    c.recordSeconds = static_cast<double>(hdr.datarecord_duration) / EDFLIB_TIME_DIMENSION;
    if (hdr.edfsignals >= 1) {
        const edf_param_struct& p = hdr.signalparam[0];
        c.label = p.label;
        c.label.erase(c.label.find_last_not_of(' ') + 1);
        c.rate = p.smp_in_datarecord / c.recordSeconds;
        c.bitValue = (p.phys_max - p.phys_min) / (p.dig_max - p.dig_min);
        c.samples.resize(static_cast<size_t>(p.smp_in_file));
        const int got =
            edfread_physical_samples(hdr.handle, 0, static_cast<int>(p.smp_in_file), c.samples.data());
        c.samples.resize(got < 0 ? 0 : static_cast<size_t>(got));
    }
    for (long long i = 0; i < hdr.annotations_in_file; ++i) {
        edf_annotation_struct a{};
        if (edf_get_annotation(hdr.handle, static_cast<int>(i), &a) == 0) {
            c.annotations.emplace_back(a.onset, a.annotation);
        }
    }
    edfclose_file(hdr.handle);
    return c;
}

// What the EDF signal must hold for a capture: every sample repeated for its ticks at 10 kHz, or once at
// 5 kHz when none is short.
inline std::vector<double> ExpectedEdfSamples(const qoltsim::Capture& capture) {
    const int ticksPerSample = capture.HasShortSamples() ? 1 : 2;
    std::vector<double> out;
    for (const qoltsim::CaptureSample& s : capture.samples) {
        for (int i = 0; i < s.ticks / ticksPerSample; ++i) {
            out.push_back(s.value);
        }
    }
    return out;
}

struct CsvRow {
    double time = 0.0;
    bool isSample = false;
    double value = 0.0;
    int code = 0, highRange = 0, shortSample = 0;
    std::string event;
};

inline std::vector<CsvRow> ReadCsv(const std::string& path, std::string* header = nullptr) {
    std::vector<CsvRow> rows;
    std::ifstream in(path);
    std::string line;
    if (!std::getline(in, line)) {
        return rows;
    }
    if (header != nullptr) {
        *header = line;
    }
    while (std::getline(in, line)) {
        std::vector<std::string> f;
        std::string field;
        bool quoted = false;
        for (size_t i = 0; i < line.size(); ++i) {
            const char ch = line[i];
            if (quoted) {
                if (ch == '"' && i + 1 < line.size() && line[i + 1] == '"') {
                    field += '"';
                    ++i;
                } else if (ch == '"') {
                    quoted = false;
                } else {
                    field += ch;
                }
            } else if (ch == '"') {
                quoted = true;
            } else if (ch == ',') {
                f.push_back(field);
                field.clear();
            } else {
                field += ch;
            }
        }
        f.push_back(field);
        if (f.size() != 6) {
            rows.push_back(CsvRow{-1.0, false, 0, 0, 0, 0, "MALFORMED: " + line});
            continue;
        }
        CsvRow r;
        r.time = std::atof(f[0].c_str());
        r.isSample = !f[1].empty();
        if (r.isSample) {
            r.value = std::atof(f[1].c_str());
            r.code = std::atoi(f[2].c_str());
            r.highRange = std::atoi(f[3].c_str());
            r.shortSample = std::atoi(f[4].c_str());
        }
        r.event = f[5];
        rows.push_back(r);
    }
    return rows;
}

} // namespace clitest
