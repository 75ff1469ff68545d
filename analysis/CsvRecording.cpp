#include "analysis/CsvRecording.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <vector>

namespace qoltanalysis {

namespace {

std::string Trim(const std::string& s) {
    size_t a = 0, b = s.size();
    while (a < b && std::isspace(static_cast<unsigned char>(s[a]))) {
        ++a;
    }
    while (b > a && std::isspace(static_cast<unsigned char>(s[b - 1]))) {
        --b;
    }
    return s.substr(a, b - a);
}

std::string Lower(std::string s) {
    for (char& c : s) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return s;
}

// Splits one line into fields; quotes may hold commas and doubled quotes.
void SplitLine(const char* begin, const char* end, std::vector<std::string>& fields) {
    fields.clear();
    std::string field;
    bool quoted = false;
    for (const char* p = begin; p < end; ++p) {
        const char c = *p;
        if (quoted) {
            if (c == '"' && p + 1 < end && p[1] == '"') {
                field += '"';
                ++p;
            } else if (c == '"') {
                quoted = false;
            } else {
                field += c;
            }
        } else if (c == '"') {
            quoted = true;
        } else if (c == ',') {
            fields.push_back(field);
            field.clear();
        } else if (c != '\r') {
            field += c;
        }
    }
    fields.push_back(field);
}

bool ParseNumber(const std::string& text, double& v) {
    const std::string t = Trim(text);
    if (t.empty()) {
        return false;
    }
    const char* first = t.c_str();
    if (*first == '+') {
        ++first;
    }
    const auto [ptr, ec] = std::from_chars(first, t.c_str() + t.size(), v);
    return ec == std::errc() && ptr == t.c_str() + t.size() && std::isfinite(v);
}

} // namespace

bool ParseCsvSignal(const std::string& text, const SignalChoice& choice, Signal& signal, std::string& error) {
    signal = Signal{};
    const char* p = text.c_str();
    const char* const end = p + text.size();
    auto nextLine = [&](const char*& b, const char*& e) {
        if (p >= end) {
            return false;
        }
        b = p;
        const void* nl = std::memchr(p, '\n', static_cast<size_t>(end - p));
        e = nl != nullptr ? static_cast<const char*>(nl) : end;
        p = e < end ? e + 1 : end;
        return true;
    };
    const char *b = nullptr, *e = nullptr;
    if (!nextLine(b, e)) {
        error = "the file is empty";
        return false;
    }
    std::vector<std::string> header;
    SplitLine(b, e, header);
    int timeColumn = -1;
    double timeScale = 1.0;
    std::vector<int> signalColumns;
    for (size_t c = 0; c < header.size(); ++c) {
        const std::string name = Lower(Trim(header[c]));
        if (timeColumn < 0 && name.rfind("time", 0) == 0) {
            timeColumn = static_cast<int>(c);
            const size_t n = name.size();
            if ((n >= 2 && name.compare(n - 2, 2, "ms") == 0) ||
                (n >= 4 && name.compare(n - 4, 4, "(ms)") == 0)) {
                timeScale = 0.001;
            }
        } else {
            signalColumns.push_back(static_cast<int>(c));
        }
    }
    if (timeColumn < 0) {
        error = "no time column (a header whose name starts with \"time\")";
        return false;
    }
    std::string names;
    for (int c : signalColumns) {
        names += (names.empty() ? "" : ", ") + Trim(header[static_cast<size_t>(c)]);
    }
    int column = -1;
    if (choice.label) {
        for (int c : signalColumns) {
            if (Trim(header[static_cast<size_t>(c)]) == *choice.label) {
                column = c;
                break;
            }
        }
        if (column < 0) {
            error = "no column \"" + *choice.label + "\" (the signal columns are " + names + ")";
            return false;
        }
    } else {
        const int index = choice.index.value_or(0);
        if (index < 0 || static_cast<size_t>(index) >= signalColumns.size()) {
            error = "no signal column " + std::to_string(index) + " (there are " +
                    std::to_string(signalColumns.size()) + ", from 0: " + names + ")";
            return false;
        }
        column = signalColumns[static_cast<size_t>(index)];
    }
    signal.label = Trim(header[static_cast<size_t>(column)]);

    std::vector<double> times;
    std::vector<std::string> fields;
    size_t row = 1;
    while (nextLine(b, e)) {
        ++row;
        if (b == e || (e - b == 1 && *b == '\r')) {
            continue;
        }
        SplitLine(b, e, fields);
        const size_t need = static_cast<size_t>(std::max(column, timeColumn));
        if (fields.size() <= need) {
            error = "row " + std::to_string(row) + " has " + std::to_string(fields.size()) + " fields, " +
                    std::to_string(header.size()) + " expected";
            return false;
        }
        const std::string& valueText = fields[static_cast<size_t>(column)];
        if (Trim(valueText).empty()) {
            continue;
        }
        double t = 0.0, v = 0.0;
        if (!ParseNumber(fields[static_cast<size_t>(timeColumn)], t)) {
            error = "row " + std::to_string(row) + ": the time \"" + fields[static_cast<size_t>(timeColumn)] +
                    "\" is not a number";
            return false;
        }
        if (!ParseNumber(valueText, v)) {
            error = "row " + std::to_string(row) + ": \"" + valueText + "\" is not a number";
            return false;
        }
        times.push_back(t * timeScale);
        signal.samples.push_back(v);
    }
    if (signal.samples.size() < 2) {
        error = "fewer than two samples in column \"" + signal.label + "\"";
        return false;
    }
    const double span = times.back() - times.front();
    const double dt = span / static_cast<double>(times.size() - 1);
    if (!(dt > 0.0)) {
        error = "the times do not increase";
        return false;
    }
    for (size_t i = 0; i < times.size(); ++i) {
        if (std::fabs(times[i] - (times.front() + static_cast<double>(i) * dt)) > 0.5 * dt) {
            char message[160];
            std::snprintf(message, sizeof message,
                          "the times are not evenly spaced: sample %zu is at %.6g s, %.6g s expected", i + 1,
                          times[i], times.front() + static_cast<double>(i) * dt);
            error = message;
            return false;
        }
    }
    signal.rate = 1.0 / dt;
    return true;
}

bool ReadCsvSignal(const std::string& path, const SignalChoice& choice, Signal& signal, std::string& error) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = std::strerror(errno);
        return false;
    }
    std::ostringstream text;
    text << in.rdbuf();
    if (in.bad()) {
        error = "read failed";
        return false;
    }
    return ParseCsvSignal(text.str(), choice, signal, error);
}

} // namespace qoltanalysis
