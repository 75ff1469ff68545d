// Draws a capture as a small, self-contained SVG: the output against time in seconds, value in the sample
// scale, with axis labels, ticks, a grid and the pacemaker markers as red dashed lines. Long captures are
// drawn as a min/max envelope per pixel column, so spikes stay visible and the file stays small (tens of
// kilobytes whatever the length).
#pragma once

#include "sim/Capture.h"

#include <string>

namespace qoltsim {

struct PlotOptions {
    std::string title; // first line above the plot
    int width = 960;   // pixels
    int height = 420;
};

bool WriteSvgPlot(const std::string& path, const Capture& capture, const PlotOptions& options,
                  std::string& error);

// The SVG text itself (what WriteSvgPlot writes).
std::string RenderSvgPlot(const Capture& capture, const PlotOptions& options);

} // namespace qoltsim
