// A recording exported as CSV: a header row, a time column (its name starts with "time"; seconds, or
// milliseconds when the name ends in "ms" or "(ms)") and one column per signal. Rows whose chosen column
// is empty (annotation rows, as in the virtual instrument's captures) are skipped. The times must be
// evenly spaced: each within half a sample period of where the average spacing puts it.
#pragma once

#include "analysis/Signal.h"

#include <optional>
#include <string>

namespace qoltanalysis {

struct SignalChoice {
    std::optional<int> index;         // among the signal columns (the time column left out), from 0
    std::optional<std::string> label; // a signal column's name; neither given: the first signal column
};

// False, with `error` set, for a malformed file, a missing column, too few rows or uneven times.
bool ParseCsvSignal(const std::string& text, const SignalChoice& choice, Signal& signal, std::string& error);
bool ReadCsvSignal(const std::string& path, const SignalChoice& choice, Signal& signal, std::string& error);

} // namespace qoltanalysis
