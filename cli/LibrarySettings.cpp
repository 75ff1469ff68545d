#include "LibrarySettings.h"

#include "qolt_api.h"

namespace qoltcli {

namespace {

std::optional<Refusal> Check(int rc, const char* option, const std::string& value, const char* call) {
    if (rc == 0) {
        return std::nullopt;
    }
    return Refusal{option, value + " (its default)", call, rc, AllowedFor(call, rc)};
}

std::string Text(double v) {
    return nlohmann::json(v).dump();
}

} // namespace

LibrarySettings ReadLibrarySettings() {
    LibrarySettings s;
    s.function = GetOutputFunc();
    s.amplitude = GetAmplitude();
    s.frequency = GetFrequency();
    s.period = GetTimePeriod();
    s.pulseWidth = GetPulseWidth();
    s.qrs = GetQRSDuration();
    s.tWave = GetTWave();
    for (int lead = 0; lead < 9; ++lead) {
        s.leads[lead] = GetOutputLead(lead);
    }
    s.impedanceMode = GetInputImpedanceMode();
    s.dcOffset = GetDCOffset();
    s.dcVariable = GetDCOffsetVariableMode();
    s.dcCommon = GetDCOffsetCommonMode();
    s.pacingAmplitude = GetPacingAmplitude();
    s.pacingDuration = GetPacingDuration();
    s.pacingRate = GetPacingRate();
    s.pacingPattern = static_cast<int>(GetPacingPulseMode());
    s.overshootTime = GetOvershootTimeConstant();
    s.overshootAmplitude = GetPacingOvershootAmp();
    s.noise = GetECG2_27_NoiseFreq();
    s.noiseAmplitude = GetECG2_27_NoiseAmp();
    s.drift = GetECG2_27_AAMIDriftTest();
    s.dynamicRange = GetDynamicRangeTest();
    s.dynamicRangeAmplitude = GetDynamicRangeTestAmp();
    s.dynamicRangeFrequency = GetDynamicRangeTestFreq();
    s.baselineReset = GetBaselineResetTest();
    return s;
}

std::optional<Refusal> RestoreDefaults(const Options& o, const LibrarySettings& d) {
    const LibrarySettings now = ReadLibrarySettings();
    std::optional<Refusal> r;
    if (!o.baselineReset && now.baselineReset != d.baselineReset &&
        (r = Check(SetBaselineResetTest(d.baselineReset), "--baseline-reset", std::to_string(d.baselineReset),
                   "SetBaselineResetTest"))) {
        return r;
    }
    if (!o.dynamicRangeTest && now.dynamicRange && !d.dynamicRange &&
        (r = Check(SetDynamicRangeTest(false, d.dynamicRangeAmplitude, d.dynamicRangeFrequency),
                   "--dynamic-range-test", "off", "SetDynamicRangeTest"))) {
        return r;
    }
    if (!o.drift && now.drift != d.drift &&
        (r = Check(SetECG2_27_AAMIDriftTest(d.drift), "--drift", d.drift ? "on" : "off",
                   "SetECG2_27_AAMIDriftTest"))) {
        return r;
    }
    if (!o.noise && now.noise != ECG2_27_Noise_Off && d.noise == ECG2_27_Noise_Off &&
        (r = Check(SetECG2_27_Noise(ECG2_27_Noise_Off, d.noiseAmplitude), "--noise", "off",
                   "SetECG2_27_Noise"))) {
        return r;
    }
    if (!o.amplitude && now.amplitude != d.amplitude &&
        (r = Check(SetAmplitude(d.amplitude), "--amplitude", Text(d.amplitude), "SetAmplitude"))) {
        return r;
    }
    if (!o.frequency && now.frequency != d.frequency &&
        (r = Check(SetFrequency(d.frequency), "--frequency", Text(d.frequency), "SetFrequency"))) {
        return r;
    }
    if (!o.pulseWidth && now.pulseWidth != d.pulseWidth &&
        (r = Check(SetPulseWidth(d.pulseWidth), "--pulse-width", Text(d.pulseWidth), "SetPulseWidth"))) {
        return r;
    }
    if (!o.qrs && now.qrs != d.qrs &&
        (r = Check(SetQRSDuration(d.qrs), "--qrs", Text(d.qrs), "SetQRSDuration"))) {
        return r;
    }
    if (!o.tWave && now.tWave != d.tWave &&
        (r = Check(SetTWave(d.tWave), "--t-wave", Text(d.tWave), "SetTWave"))) {
        return r;
    }
    if (!o.leads) {
        for (int lead = 0; lead < 9; ++lead) {
            if (now.leads[lead] != d.leads[lead] && (r = Check(SetOutputLead(lead, d.leads[lead]), "--leads",
                                                               std::to_string(lead), "SetOutputLead"))) {
                return r;
            }
        }
    }
    if (!o.impedanceMode && now.impedanceMode != d.impedanceMode &&
        (r = Check(SetInputImpedanceMode(d.impedanceMode), "--impedance-mode", d.impedanceMode ? "on" : "off",
                   "SetInputImpedanceMode"))) {
        return r;
    }
    if (!o.dcOffset && now.dcOffset != d.dcOffset &&
        (r = Check(SetDCOffset(d.dcOffset), "--dc-offset", std::to_string(d.dcOffset), "SetDCOffset"))) {
        return r;
    }
    if (!o.dcVariable && now.dcVariable != d.dcVariable &&
        (r = Check(SetDCOffsetVariableMode(d.dcVariable), "--dc-variable", d.dcVariable ? "on" : "off",
                   "SetDCOffsetVariableMode"))) {
        return r;
    }
    if (!o.dcCommon && now.dcCommon != d.dcCommon &&
        (r = Check(SetDCOffsetCommonMode(d.dcCommon), "--dc-common", d.dcCommon ? "on" : "off",
                   "SetDCOffsetCommonMode"))) {
        return r;
    }
    if (!o.pacingDuration && now.pacingDuration != d.pacingDuration &&
        (r = Check(SetPacingDuration(d.pacingDuration), "--pacing-duration", Text(d.pacingDuration),
                   "SetPacingDuration"))) {
        return r;
    }
    if (!o.pacingRate && now.pacingRate != d.pacingRate &&
        (r = Check(SetPacingRate(d.pacingRate), "--pacing-rate", std::to_string(d.pacingRate),
                   "SetPacingRate"))) {
        return r;
    }
    if (!o.pacingPattern && now.pacingPattern != d.pacingPattern &&
        (r = Check(SetPacingPulseMode(static_cast<PacingPulse_E>(d.pacingPattern)), "--pacing-pattern",
                   std::to_string(d.pacingPattern), "SetPacingPulseMode"))) {
        return r;
    }
    if (!o.overshootTime && now.overshootTime != d.overshootTime &&
        (r = Check(SetOvershootTimeConstant(d.overshootTime), "--overshoot-time",
                   std::to_string(d.overshootTime), "SetOvershootTimeConstant"))) {
        return r;
    }
    if (!o.overshootAmplitude && now.overshootAmplitude != d.overshootAmplitude &&
        (r = Check(SetPacingOvershootAmp(d.overshootAmplitude), "--overshoot-amplitude",
                   Text(d.overshootAmplitude), "SetPacingOvershootAmp"))) {
        return r;
    }
    if (!o.pacingAmplitude && now.pacingAmplitude != d.pacingAmplitude &&
        (r = Check(SetPacingAmplitude(d.pacingAmplitude), "--pacing-amplitude", Text(d.pacingAmplitude),
                   "SetPacingAmplitude"))) {
        return r;
    }
    return std::nullopt;
}

nlohmann::ordered_json SettingsJson(const LibrarySettings& s) {
    nlohmann::ordered_json j;
    j["output_function"] = s.function;
    j["amplitude"] = s.amplitude;
    j["frequency_hz"] = s.frequency;
    j["period_s"] = s.period;
    j["pulse_width_ms"] = s.pulseWidth;
    j["qrs_ms"] = s.qrs;
    j["t_wave"] = s.tWave;
    nlohmann::ordered_json leads = nlohmann::ordered_json::array();
    for (int lead = 0; lead < 9; ++lead) {
        if (s.leads[lead]) {
            leads.push_back(lead);
        }
    }
    j["leads"] = leads;
    j["impedance_mode"] = s.impedanceMode;
    j["dc_offset"] = s.dcOffset;
    j["dc_variable"] = s.dcVariable;
    j["dc_common"] = s.dcCommon;
    j["pacing_amplitude"] = s.pacingAmplitude;
    j["pacing_duration_ms"] = s.pacingDuration;
    j["pacing_rate_per_minute"] = s.pacingRate;
    j["pacing_pattern"] = s.pacingPattern;
    j["overshoot_time_ms"] = s.overshootTime;
    j["overshoot_amplitude"] = s.overshootAmplitude;
    j["noise"] = s.noise;
    j["noise_amplitude"] = s.noiseAmplitude;
    j["drift"] = s.drift;
    j["dynamic_range_test"] = s.dynamicRange;
    j["dynamic_range_amplitude"] = s.dynamicRangeAmplitude;
    j["dynamic_range_frequency_hz"] = s.dynamicRangeFrequency;
    j["baseline_reset"] = s.baselineReset;
    return j;
}

} // namespace qoltcli
