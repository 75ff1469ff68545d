#include "sim/EdfCaptureWriter.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <numeric>
#include <unistd.h>

namespace qoltsim {

namespace {

// 1 s: readers that take the record duration as a whole number of seconds (the library's own loader among
// them) read it right.
constexpr int64_t kRecordTicks = kTicksPerSecond;
constexpr int kDigitalMin = -32768;
constexpr int kDigitalMax = 32767;

// One header field: left-justified, space-padded, cut to its width, printable ASCII only.
void Field(std::string& header, const std::string& text, size_t width) {
    std::string f = text.substr(0, width);
    for (char& c : f) {
        if (c < 32 || c > 126) {
            c = '_';
        }
    }
    f.resize(width, ' ');
    header += f;
}

// Seconds of a tick count as the shortest exact decimal ("0", "0.1", "12.3456").
std::string TickSeconds(int64_t ticks) {
    char text[40];
    std::snprintf(text, sizeof text, "%lld.%04lld", static_cast<long long>(ticks / kTicksPerSecond),
                  static_cast<long long>(ticks % kTicksPerSecond));
    std::string s = text;
    while (s.back() == '0') {
        s.pop_back();
    }
    if (s.back() == '.') {
        s.pop_back();
    }
    return s;
}

// A number in at most 8 characters, rounded away from the inside of the range (down for a minimum, up for
// a maximum); `value` receives what the text says.
std::string RangeNumber(double& value, bool roundUp) {
    for (int decimals = 6; decimals >= 0; --decimals) {
        const double scale = std::pow(10.0, decimals);
        const double rounded = (roundUp ? std::ceil(value * scale) : std::floor(value * scale)) / scale;
        char text[64];
        std::snprintf(text, sizeof text, "%.*f", decimals, rounded);
        if (std::strlen(text) <= 8) {
            value = std::strtod(text, nullptr);
            return text;
        }
    }
    return {}; // magnitude beyond 8 digits: cannot happen for 12-bit codes
}

// Exact decimal text of n * g / 2000 (g up to 1000), or empty when it does not fit 8 characters.
std::string ExactGridNumber(long long n, long long g) {
    const long long tenThousandths = n * g * 5; // n*g/2000 = n*g*5/10000
    const long long whole = tenThousandths / 10000;
    const long long frac = std::llabs(tenThousandths % 10000);
    char text[48];
    std::snprintf(text, sizeof text, "%s%lld.%04lld", (tenThousandths < 0 && whole == 0) ? "-" : "", whole,
                  frac);
    std::string s = text;
    while (s.back() == '0') {
        s.pop_back();
    }
    if (s.back() == '.') {
        s.pop_back();
    }
    return s.size() <= 8 ? s : std::string();
}

struct Scale {
    std::string physicalMin, physicalMax;
    // Exact: digital = (code - 2048) * factor[step]; otherwise (value - offset) / bit, rounded.
    bool exact = false;
    long long grid = 1; // exact: the grid is grid/2000
    double offset = 0.0, bit = 1.0;
};

long long StepOf(const CaptureSample& s) {
    return (s.flags & kFlagHighRange) != 0 ? 1000 : s.range; // value step in units of 1/2000
}

Scale ChooseScale(const Capture& capture) {
    Scale scale;
    long long g = 0;
    for (const CaptureSample& s : capture.samples) {
        g = std::gcd(g, StepOf(s));
    }
    if (g == 0) {
        g = 1; // every value is 0
    }
    bool fits = true;
    for (const CaptureSample& s : capture.samples) {
        const long long digital = (static_cast<long long>(s.code) - 2048) * (StepOf(s) / g);
        if (digital < kDigitalMin || digital > kDigitalMax) {
            fits = false;
            break;
        }
    }
    if (fits) {
        scale.physicalMin = ExactGridNumber(kDigitalMin, g);
        scale.physicalMax = ExactGridNumber(kDigitalMax, g);
        if (!scale.physicalMin.empty() && !scale.physicalMax.empty()) {
            scale.exact = true;
            scale.grid = g;
            return scale;
        }
    }
    double lo = capture.samples.front().value;
    double hi = lo;
    for (const CaptureSample& s : capture.samples) {
        lo = std::min(lo, s.value);
        hi = std::max(hi, s.value);
    }
    if (hi - lo < 1e-6) {
        lo -= 1.0;
        hi += 1.0;
    }
    scale.physicalMin = RangeNumber(lo, false);
    scale.physicalMax = RangeNumber(hi, true);
    scale.bit = (hi - lo) / (kDigitalMax - kDigitalMin);
    scale.offset = lo - kDigitalMin * scale.bit;
    return scale;
}

int Digital(const Scale& scale, const CaptureSample& s) {
    if (scale.exact) {
        return static_cast<int>((static_cast<long long>(s.code) - 2048) * (StepOf(s) / scale.grid));
    }
    const double d = std::floor((s.value - scale.offset) / scale.bit + 0.5);
    return static_cast<int>(std::min<double>(kDigitalMax, std::max<double>(kDigitalMin, d)));
}

std::string Tal(int64_t tick, const std::string& text) {
    std::string tal = "+" + TickSeconds(tick);
    tal += '\x14';
    for (char c : text) {
        tal += (c == '\x14' || c == '\x15' || c == '\0') ? ' ' : c;
    }
    tal += '\x14';
    tal += '\0';
    return tal;
}

std::string TimeKeeping(int64_t tick) {
    std::string tal = "+" + TickSeconds(tick);
    tal += '\x14';
    tal += '\x14';
    tal += '\0';
    return tal;
}

// Spreads the annotations over the records, each in the record of its onset or a later one (EDF+ keeps the
// onset with the text), `capacity` bytes per record. False when they do not all fit.
bool Distribute(const std::vector<std::string>& tals, const std::vector<int64_t>& records,
                int64_t recordCount, size_t capacity, std::vector<std::string>& out) {
    out.assign(static_cast<size_t>(recordCount), std::string());
    std::deque<size_t> waiting;
    size_t next = 0;
    for (int64_t r = 0; r < recordCount; ++r) {
        std::string& body = out[static_cast<size_t>(r)];
        body = TimeKeeping(r * kRecordTicks);
        if (body.size() > capacity) {
            return false;
        }
        while (next < tals.size() && records[next] <= r) {
            waiting.push_back(next++);
        }
        while (!waiting.empty() && body.size() + tals[waiting.front()].size() <= capacity) {
            body += tals[waiting.front()];
            waiting.pop_front();
        }
    }
    return waiting.empty() && next == tals.size();
}

void Put16(std::string& out, int v) {
    const auto u = static_cast<uint16_t>(static_cast<int16_t>(v));
    out += static_cast<char>(u & 0xFF);
    out += static_cast<char>(u >> 8);
}

} // namespace

bool WriteEdfCapture(const std::string& path, const Capture& capture, const EdfOptions& options,
                     std::string& error) {
    if (capture.samples.empty()) {
        error = "nothing was played";
        return false;
    }
    const int64_t ticksPerSample = capture.HasShortSamples() ? 1 : 2;
    const int64_t samplesPerRecord = kRecordTicks / ticksPerSample;
    const int64_t totalSamples = capture.endTick / ticksPerSample;
    const int64_t recordCount = (totalSamples + samplesPerRecord - 1) / samplesPerRecord;
    const Scale scale = ChooseScale(capture);

    std::vector<CaptureAnnotation> notes = capture.annotations;
    if (recordCount * kRecordTicks != capture.endTick) {
        notes.push_back({capture.endTick, AnnotationKind::Note, "capture end"});
    }
    std::vector<std::string> tals;
    std::vector<int64_t> talRecords;
    for (const CaptureAnnotation& a : notes) {
        tals.push_back(Tal(a.tick, a.text));
        talRecords.push_back(std::min(a.tick / kRecordTicks, recordCount - 1));
    }
    std::vector<std::string> bodies;
    size_t capacity = 64;
    while (!Distribute(tals, talRecords, recordCount, capacity, bodies)) {
        capacity *= 2;
        if (capacity > (1u << 22)) {
            error = "too many annotations";
            return false;
        }
    }
    const size_t annotationSamples = capacity / 2;

    std::time_t start = options.start != 0 ? options.start : std::time(nullptr);
    std::tm tm{};
    localtime_r(&start, &tm);
    static const char* const kMonths[] = {"JAN", "FEB", "MAR", "APR", "MAY", "JUN",
                                          "JUL", "AUG", "SEP", "OCT", "NOV", "DEC"};
    char date[48], time[48], longDate[48];
    std::snprintf(date, sizeof date, "%02d.%02d.%02d", tm.tm_mday, tm.tm_mon + 1, tm.tm_year % 100);
    std::snprintf(time, sizeof time, "%02d.%02d.%02d", tm.tm_hour, tm.tm_min, tm.tm_sec);
    std::snprintf(longDate, sizeof longDate, "%02d-%s-%04d", tm.tm_mday, kMonths[tm.tm_mon % 12],
                  tm.tm_year + 1900);
    std::string equipment = options.equipment.empty() ? "X" : options.equipment;
    std::replace(equipment.begin(), equipment.end(), ' ', '_');

    std::string h;
    Field(h, "0", 8);
    Field(h, "X X X X", 80);
    Field(h, std::string("Startdate ") + longDate + " X X " + equipment, 80);
    Field(h, date, 8);
    Field(h, time, 8);
    Field(h, std::to_string(256 * 3), 8);
    Field(h, "EDF+C", 44);
    Field(h, std::to_string(recordCount), 8);
    Field(h, "1", 8);
    Field(h, "2", 4);
    Field(h, options.label, 16);
    Field(h, "EDF Annotations", 16);
    Field(h, "virtual instrument", 80);
    Field(h, "", 80);
    Field(h, "", 8); // the sample scale has no physical unit
    Field(h, "", 8);
    Field(h, scale.physicalMin, 8);
    Field(h, "-1", 8);
    Field(h, scale.physicalMax, 8);
    Field(h, "1", 8);
    Field(h, std::to_string(kDigitalMin), 8);
    Field(h, std::to_string(kDigitalMin), 8);
    Field(h, std::to_string(kDigitalMax), 8);
    Field(h, std::to_string(kDigitalMax), 8);
    Field(h, "", 80);
    Field(h, "", 80);
    Field(h, std::to_string(samplesPerRecord), 8);
    Field(h, std::to_string(annotationSamples), 8);
    Field(h, "", 32);
    Field(h, "", 32);

    FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) {
        error = path + ": " + std::strerror(errno);
        return false;
    }
    bool ok = std::fwrite(h.data(), 1, h.size(), f) == h.size();

    std::string record;
    size_t sampleIndex = 0;
    int64_t repeatsLeft = 0;
    int lastDigital = 0;
    for (int64_t r = 0; r < recordCount && ok; ++r) {
        record.clear();
        for (int64_t i = 0; i < samplesPerRecord; ++i) {
            if (repeatsLeft == 0 && sampleIndex < capture.samples.size()) {
                const CaptureSample& s = capture.samples[sampleIndex++];
                lastDigital = Digital(scale, s);
                repeatsLeft = s.ticks / ticksPerSample;
            }
            Put16(record, lastDigital); // past the end: the last value again
            if (repeatsLeft > 0) {
                --repeatsLeft;
            }
        }
        std::string body = bodies[static_cast<size_t>(r)];
        body.resize(capacity, '\0');
        record += body;
        ok = std::fwrite(record.data(), 1, record.size(), f) == record.size();
    }
    if (std::fclose(f) != 0) {
        ok = false;
    }
    if (!ok) {
        error = path + ": write failed: " + std::strerror(errno);
        unlink(path.c_str());
        return false;
    }
    return true;
}

} // namespace qoltsim
