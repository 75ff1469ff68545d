#include "sim/CsvCaptureWriter.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <unistd.h>

namespace qoltsim {

namespace {

std::string Quoted(const std::string& text) {
    std::string q = "\"";
    for (char c : text) {
        if (c == '"') {
            q += "\"\"";
        } else if (c == '\n' || c == '\r') {
            q += ' ';
        } else {
            q += c;
        }
    }
    q += '"';
    return q;
}

void Seconds(FILE* f, int64_t tick) {
    std::fprintf(f, "%lld.%04lld", static_cast<long long>(tick / kTicksPerSecond),
                 static_cast<long long>(tick % kTicksPerSecond));
}

} // namespace

bool WriteCsvCapture(const std::string& path, const Capture& capture, std::string& error) {
    if (capture.samples.empty()) {
        error = "nothing was played";
        return false;
    }
    FILE* f = std::fopen(path.c_str(), "w");
    if (f == nullptr) {
        error = path + ": " + std::strerror(errno);
        return false;
    }
    std::fputs("time_s,value,code,high_range,short_sample,event\n", f);
    size_t a = 0;
    for (const CaptureSample& s : capture.samples) {
        for (; a < capture.annotations.size() && capture.annotations[a].tick <= s.tick; ++a) {
            Seconds(f, capture.annotations[a].tick);
            std::fprintf(f, ",,,,,%s\n", Quoted(capture.annotations[a].text).c_str());
        }
        Seconds(f, s.tick);
        std::fprintf(f, ",%.10g,%u,%d,%d,\n", s.value, static_cast<unsigned>(s.code),
                     (s.flags & kFlagHighRange) != 0 ? 1 : 0, (s.flags & kFlagShortSample) != 0 ? 1 : 0);
    }
    for (; a < capture.annotations.size(); ++a) {
        Seconds(f, capture.annotations[a].tick);
        std::fprintf(f, ",,,,,%s\n", Quoted(capture.annotations[a].text).c_str());
    }
    const bool failed = std::ferror(f) != 0;
    if (std::fclose(f) != 0 || failed) {
        error = path + ": write failed: " + std::strerror(errno);
        unlink(path.c_str());
        return false;
    }
    return true;
}

} // namespace qoltsim
