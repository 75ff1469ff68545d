// The library's settings as its getters report them: read once right after connecting (the defaults a
// plan's steps start from), and after each step is applied (the settings in force, for the run's result).
#pragma once

#include "Options.h"
#include "Refusal.h"

#include <nlohmann/json.hpp>

#include <optional>

namespace qoltcli {

struct LibrarySettings {
    int function = 0;
    double amplitude = 0, frequency = 0, period = 0, pulseWidth = 0, qrs = 0, tWave = 0;
    bool leads[9] = {};
    bool impedanceMode = false;
    int dcOffset = 0;
    bool dcVariable = false, dcCommon = false;
    double pacingAmplitude = 0, pacingDuration = 0;
    unsigned pacingRate = 0;
    int pacingPattern = 0;
    unsigned overshootTime = 0;
    double overshootAmplitude = 0;
    int noise = 0;
    double noiseAmplitude = 0;
    bool drift = false;
    bool dynamicRange = false;
    double dynamicRangeAmplitude = 0, dynamicRangeFrequency = 0;
    int baselineReset = 0;
};

LibrarySettings ReadLibrarySettings();

// Puts back the default of every setting `step` does not give, tests first (they hold other settings),
// so that each step starts from the defaults whatever the steps before it set. The output is left running.
std::optional<Refusal> RestoreDefaults(const Options& step, const LibrarySettings& defaults);

nlohmann::ordered_json SettingsJson(const LibrarySettings& settings);

} // namespace qoltcli
