// The response of the sine steps against frequency as a small self-contained SVG: a logarithmic frequency
// axis, the response in dB relative to the reference, the steps' limits as dashed lines and bars, each
// point coloured by its verdict.
#pragma once

#include "analysis/Response.h"

#include <string>

namespace qoltanalysis {

struct ResponsePlotOptions {
    std::string title;
    int width = 760;
    int height = 440;
};

std::string RenderResponsePlot(const Report& report, const ResponsePlotOptions& options);

} // namespace qoltanalysis
