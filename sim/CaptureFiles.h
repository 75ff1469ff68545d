// Writes a capture to a file chosen by its extension: .edf (EDF+), .csv, or .svg (a plot).
#pragma once

#include "sim/Capture.h"
#include "sim/EdfCaptureWriter.h"
#include "sim/SvgPlotWriter.h"

#include <string>

namespace qoltsim {

struct CaptureFileOptions {
    EdfOptions edf;
    PlotOptions plot;
};

// False with `error` set for an unknown extension or a failed write.
bool WriteCaptureFile(const std::string& path, const Capture& capture, const CaptureFileOptions& options,
                      std::string& error);

} // namespace qoltsim
