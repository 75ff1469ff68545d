// Writes a capture as CSV, one row per sample and one per annotation, in time order:
//
//   time_s,value,code,high_range,short_sample,event
//   0.0000,0.0125,2053,0,0,
//   1.0000,,,,,"pacing pulse"
//
// Sample rows leave `event` empty; annotation rows leave the sample columns empty. Values are in the sample
// scale, `code` is the 12-bit code as received.
#pragma once

#include "sim/Capture.h"

#include <string>

namespace qoltsim {

bool WriteCsvCapture(const std::string& path, const Capture& capture, std::string& error);

} // namespace qoltsim
