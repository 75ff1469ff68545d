#include "sim/CaptureFiles.h"

#include "sim/CsvCaptureWriter.h"

#include <strings.h>

namespace qoltsim {

namespace {

bool EndsWith(const std::string& text, const char* suffix, size_t n) {
    return text.size() > n && strcasecmp(text.c_str() + text.size() - n, suffix) == 0;
}

} // namespace

bool WriteCaptureFile(const std::string& path, const Capture& capture, const CaptureFileOptions& options,
                      std::string& error) {
    if (EndsWith(path, ".edf", 4)) {
        return WriteEdfCapture(path, capture, options.edf, error);
    }
    if (EndsWith(path, ".csv", 4)) {
        return WriteCsvCapture(path, capture, error);
    }
    if (EndsWith(path, ".svg", 4)) {
        return WriteSvgPlot(path, capture, options.plot, error);
    }
    error = path + ": unknown file type (.edf, .csv or .svg)";
    return false;
}

} // namespace qoltsim
