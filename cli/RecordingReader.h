// Reads one signal of a device's recording for the analysis: EDF, EDF+ and BDF(+) through EDFlib, CSV with
// a time column through the analysis library.
#pragma once

#include "analysis/CsvRecording.h"
#include "analysis/Signal.h"

#include <string>

namespace qoltcli {

// False, with `error` saying why, when the file cannot be read or has no such signal.
bool ReadRecordingSignal(const std::string& path, const qoltanalysis::SignalChoice& choice,
                         qoltanalysis::Signal& signal, std::string& error);

} // namespace qoltcli
