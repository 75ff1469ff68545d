// The analysis as a table for people: one line per step, then the overall verdict.
#pragma once

#include "analysis/Response.h"

#include <string>

namespace qoltanalysis {

// Short name of a figure for the table ("dB", "%", "p-v" ...).
const char* FigureShortName(Figure figure);
// "dB -3..0.5", "mean <= 10", "p-v >= 1" ...
std::string LimitText(const Limit& limit);

std::string FormatTable(const Signal& signal, const Report& report);

} // namespace qoltanalysis
