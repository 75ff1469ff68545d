#include "RecordingReader.h"

#include <edflib.h>

#include <algorithm>

#include <strings.h>

namespace qoltcli {

namespace {

std::string Trim(const char* text) {
    std::string s = text;
    while (!s.empty() && s.back() == ' ') {
        s.pop_back();
    }
    while (!s.empty() && s.front() == ' ') {
        s.erase(s.begin());
    }
    return s;
}

std::string EdfProblem(int code) {
    switch (code) {
    case EDFLIB_MALLOC_ERROR:
        return "out of memory";
    case EDFLIB_NO_SUCH_FILE_OR_DIRECTORY:
        return "no such file";
    case EDFLIB_FILE_CONTAINS_FORMAT_ERRORS:
        return "not a valid EDF, EDF+ or BDF file";
    case EDFLIB_MAXFILES_REACHED:
        return "too many files open";
    case EDFLIB_FILE_READ_ERROR:
        return "read error";
    case EDFLIB_FILE_ALREADY_OPENED:
        return "already open";
    case EDFLIB_FILETYPE_ERROR:
        return "not an EDF or BDF file";
    case EDFLIB_NUMBER_OF_SIGNALS_INVALID:
        return "its number of signals is not valid";
    case EDFLIB_FILE_IS_DISCONTINUOUS:
        return "it is discontinuous (EDF+D or BDF+D): only continuous recordings can be analysed";
    default:
        break;
    }
    return "EDFlib code " + std::to_string(code);
}

bool ReadEdf(const std::string& path, const qoltanalysis::SignalChoice& choice, qoltanalysis::Signal& signal,
             std::string& error) {
    edf_hdr_struct hdr{};
    if (edfopen_file_readonly(path.c_str(), &hdr, EDFLIB_DO_NOT_READ_ANNOTATIONS) != 0) {
        error = EdfProblem(hdr.filetype);
        return false;
    }
    const int count = hdr.edfsignals;
    std::string names;
    for (int s = 0; s < count; ++s) {
        names += (names.empty() ? "" : ", ") + Trim(hdr.signalparam[s].label);
    }
    int chosen = -1;
    if (choice.label) {
        for (int s = 0; s < count && chosen < 0; ++s) {
            if (strcasecmp(Trim(hdr.signalparam[s].label).c_str(), choice.label->c_str()) == 0) {
                chosen = s;
            }
        }
        if (chosen < 0) {
            error = "no signal labelled \"" + *choice.label + "\" (the signals are " + names + ")";
        }
    } else {
        chosen = choice.index.value_or(0);
        if (chosen < 0 || chosen >= count) {
            error = "no signal " + std::to_string(chosen) + " (there are " + std::to_string(count) +
                    ", from 0: " + names + ")";
            chosen = -1;
        }
    }
    if (chosen < 0) {
        edfclose_file(hdr.handle);
        return false;
    }
    const edf_param_struct& p = hdr.signalparam[chosen];
    const double recordSeconds = static_cast<double>(hdr.datarecord_duration) / EDFLIB_TIME_DIMENSION;
    if (!(recordSeconds > 0.0) || p.smp_in_datarecord <= 0) {
        edfclose_file(hdr.handle);
        error = "signal \"" + Trim(p.label) + "\" has no samples per data record";
        return false;
    }
    signal.label = Trim(p.label);
    signal.unit = Trim(p.physdimension);
    signal.rate = p.smp_in_datarecord / recordSeconds;
    signal.samples.resize(static_cast<size_t>(p.smp_in_file));
    size_t done = 0;
    constexpr size_t kChunk = 1 << 20;
    while (done < signal.samples.size()) {
        const size_t want = std::min(kChunk, signal.samples.size() - done);
        const int got =
            edfread_physical_samples(hdr.handle, chosen, static_cast<int>(want), &signal.samples[done]);
        if (got <= 0) {
            break;
        }
        done += static_cast<size_t>(got);
    }
    edfclose_file(hdr.handle);
    if (done != signal.samples.size()) {
        error = "read error after " + std::to_string(done) + " samples";
        return false;
    }
    return true;
}

bool EndsWith(const std::string& text, const char* suffix) {
    const size_t n = std::string(suffix).size();
    return text.size() > n && strcasecmp(text.c_str() + text.size() - n, suffix) == 0;
}

} // namespace

bool ReadRecordingSignal(const std::string& path, const qoltanalysis::SignalChoice& choice,
                         qoltanalysis::Signal& signal, std::string& error) {
    signal = qoltanalysis::Signal{};
    if (EndsWith(path, ".csv")) {
        return qoltanalysis::ReadCsvSignal(path, choice, signal, error);
    }
    return ReadEdf(path, choice, signal, error);
}

} // namespace qoltcli
