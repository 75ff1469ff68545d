#include "Settings.h"

#include "qolt_api.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>

namespace qoltcli {

namespace {

std::optional<Refusal> Check(int rc, const Options& o, const std::string& option, const std::string& call,
                             const std::string& context = std::string()) {
    if (rc == 0) {
        return std::nullopt;
    }
    return Refusal{option, o.Typed(option), call, rc, AllowedFor(call, rc, context)};
}

// A positional argument is named in the message for what it is ("iec227 waveform 12"), not by the
// placeholder of the usage line ("N") under which the command line keeps it.
std::optional<Refusal> CheckArgument(int rc, const Options& o, const std::string& given,
                                     const std::string& label, const std::string& call) {
    std::optional<Refusal> r = Check(rc, o, given, call);
    if (r) {
        r->option = label;
    }
    return r;
}

int ClampToInt(long long v) {
    return static_cast<int>(std::max<long long>(INT_MIN, std::min<long long>(INT_MAX, v)));
}

// Unsigned settings with an upper bound: a negative value becomes one the library refuses as too large.
unsigned ClampToUnsigned(long long v) {
    if (v < 0 || v > static_cast<long long>(UINT_MAX)) {
        return UINT_MAX;
    }
    return static_cast<unsigned>(v);
}

std::string FrequencyContext(const Options& o) {
    char text[96];
    std::snprintf(text, sizeof text, "%g Hz for %s",
                  o.function != nullptr ? o.function->frequencyLimit : 500.0,
                  o.function != nullptr ? o.function->name : "this function");
    return text;
}

std::string DcOffsetContext(const Options& o) {
    if (o.dcVariable) {
        return "-1000 to 1000 in variable mode";
    }
    if (IsQOLT300R()) {
        return "0, 150 or -150 on this model (-1000 to 1000 with --dc-variable)";
    }
    return "0, 300 or -300 (-1000 to 1000 with --dc-variable)";
}

// The dynamic-range staircase steps once every 0.5 s of its cycle (and at each cycle's start): only a cycle
// of a whole number of half seconds gives the documented steps, one every 0.5 s; at the library's 10 Hz
// there are none. The tool plays it at 1 Hz unless told otherwise.
constexpr double kStaircaseFrequency = 1.0;

bool IsStaircase(const Options& o) {
    return o.command == Command::Play && o.function != nullptr &&
           o.function->selector == Selector::OutputFunc && o.function->number == 14;
}

bool StepsEveryHalfSecond(double hz) {
    const double halfSeconds = 2.0 / hz; // per cycle
    const double whole = std::round(halfSeconds);
    return whole >= 1.0 && std::abs(halfSeconds - whole) <= 1e-9 * halfSeconds;
}

} // namespace

std::optional<Refusal> ApplyBeforeOutput(const Options& o) {
    std::optional<Refusal> r;
    if (IsStaircase(o)) {
        if (o.frequency && !StepsEveryHalfSecond(*o.frequency)) {
            return Refusal{
                "--frequency", o.Typed("--frequency"), "", 0,
                "dynamic-range steps once every 0.5 s of its cycle: allowed 2 Hz divided by a whole "
                "number (2, 1, 0.5, 0.4, ... 0.05 Hz; 1 Hz unless told)"};
        }
        if (!o.frequency && (r = Check(SetFrequency(kStaircaseFrequency), o, "--frequency", "SetFrequency",
                                       FrequencyContext(o)))) {
            return r;
        }
    }
    if (o.amplitude && (r = Check(SetAmplitude(*o.amplitude), o, "--amplitude", "SetAmplitude"))) {
        return r;
    }
    if (o.frequency &&
        (r = Check(SetFrequency(*o.frequency), o, "--frequency", "SetFrequency", FrequencyContext(o)))) {
        return r;
    }
    if (o.pulseWidth && (r = Check(SetPulseWidth(*o.pulseWidth), o, "--pulse-width", "SetPulseWidth"))) {
        return r;
    }
    if (o.qrs && (r = Check(SetQRSDuration(*o.qrs), o, "--qrs", "SetQRSDuration"))) {
        return r;
    }
    if (o.tWave && (r = Check(SetTWave(*o.tWave), o, "--t-wave", "SetTWave"))) {
        return r;
    }
    if (o.leads) {
        for (int lead : *o.leads) {
            if ((r = Check(SetOutputLead(lead, true), o, "--leads", "SetOutputLead"))) {
                return r;
            }
        }
        for (int lead = 0; lead <= 8; ++lead) {
            if (std::find(o.leads->begin(), o.leads->end(), lead) == o.leads->end() &&
                (r = Check(SetOutputLead(lead, false), o, "--leads", "SetOutputLead"))) {
                return r;
            }
        }
    }
    if (o.impedanceMode && (r = Check(SetInputImpedanceMode(*o.impedanceMode), o, "--impedance-mode",
                                      "SetInputImpedanceMode"))) {
        return r;
    }
    if (o.dcVariable &&
        (r = Check(SetDCOffsetVariableMode(true), o, "--dc-variable", "SetDCOffsetVariableMode"))) {
        return r;
    }
    if (o.dcCommon && (r = Check(SetDCOffsetCommonMode(true), o, "--dc-common", "SetDCOffsetCommonMode"))) {
        return r;
    }
    if (o.dcOffset && (r = Check(SetDCOffset(ClampToInt(*o.dcOffset)), o, "--dc-offset", "SetDCOffset",
                                 DcOffsetContext(o)))) {
        return r;
    }
    if (o.pacingDuration &&
        (r = Check(SetPacingDuration(*o.pacingDuration), o, "--pacing-duration", "SetPacingDuration"))) {
        return r;
    }
    if (o.pacingRate &&
        (r = Check(SetPacingRate(ClampToUnsigned(*o.pacingRate)), o, "--pacing-rate", "SetPacingRate"))) {
        return r;
    }
    if (o.pacingPattern && (r = Check(SetPacingPulseMode(static_cast<PacingPulse_E>(*o.pacingPattern)), o,
                                      "--pacing-pattern", "SetPacingPulseMode"))) {
        return r;
    }
    if (o.overshootTime && (r = Check(SetOvershootTimeConstant(ClampToUnsigned(*o.overshootTime)), o,
                                      "--overshoot-time", "SetOvershootTimeConstant"))) {
        return r;
    }
    if (o.overshootAmplitude && (r = Check(SetPacingOvershootAmp(*o.overshootAmplitude), o,
                                           "--overshoot-amplitude", "SetPacingOvershootAmp"))) {
        return r;
    }
    if (o.pacingAmplitude &&
        (r = Check(SetPacingAmplitude(*o.pacingAmplitude), o, "--pacing-amplitude", "SetPacingAmplitude"))) {
        return r;
    }
    return std::nullopt;
}

std::optional<Refusal> StartOutput(const Options& o) {
    if (o.command == Command::Load) {
        EnablePlayRawDataLoop(!o.once);
        return CheckArgument(SetOutputFunc(7), o, "FILE", "load", "SetOutputFunc");
    }
    if (o.command == Command::Scan && o.scanSine) {
        const int seconds = ClampToInt(o.scanSeconds);
        const int rc = SetFreqScanSine(true, o.scanStart, o.scanStop, seconds);
        if (rc == -2) {
            return CheckArgument(rc, o, "START", "scan start frequency", "SetFreqScanSine");
        }
        if (rc == -3) {
            return CheckArgument(rc, o, "STOP", "scan stop frequency", "SetFreqScanSine");
        }
        if (rc == -4) {
            return CheckArgument(rc, o, "SECONDS", "scan duration", "SetFreqScanSine");
        }
        return CheckArgument(rc, o, "scan", "scan sine", "SetFreqScanSine");
    }
    const FunctionInfo& f = *o.function;
    const long long n = o.functionArgument.value_or(0);
    const std::string play = std::string(f.name);
    switch (f.selector) {
    case Selector::OutputFunc:
        return CheckArgument(SetOutputFunc(f.number), o, "FUNCTION", "play", "SetOutputFunc");
    case Selector::EcgRateScan:
        return CheckArgument(SetFreqScanECG(true), o, "FUNCTION", "play", "SetFreqScanECG");
    case Selector::SpecialWave227:
        // Values the index type cannot hold are not passed at all.
        if (n < 0 || n > 15) {
            return Refusal{play + " waveform",
                           o.Typed("N"),
                           "SetSpecialWave227",
                           -2,
                           AllowedFor("SetSpecialWave227", -2),
                           false};
        }
        return CheckArgument(SetSpecialWave227(static_cast<SpecialWave227_E>(n)), o, "N", play + " waveform",
                             "SetSpecialWave227");
    case Selector::SpecialWave251:
        if (n < 0 || n > 15) {
            return Refusal{play + " waveform",
                           o.Typed("N"),
                           "SetSpecialWave251",
                           -2,
                           AllowedFor("SetSpecialWave251", -2),
                           false};
        }
        return CheckArgument(SetSpecialWave251(static_cast<SpecialWave251_E>(n)), o, "N", play + " waveform",
                             "SetSpecialWave251");
    case Selector::Ane20000Lead:
        return CheckArgument(SetANE20000Lead(ClampToInt(n)), o, "LEAD", play + " lead", "SetANE20000Lead");
    }
    return std::nullopt;
}

std::optional<Refusal> ApplyAfterOutput(const Options& o) {
    std::optional<Refusal> r;
    if (o.noise) {
        const int rc = SetECG2_27_Noise(*o.noise == 50 ? ECG2_27_Noise_50Hz : ECG2_27_Noise_60Hz,
                                        o.noiseAmplitude.value_or(0.1));
        if ((r = Check(rc, o, rc == -3 ? "--noise-amplitude" : "--noise", "SetECG2_27_Noise"))) {
            if (rc == -3 && r->value.empty()) {
                r->value = "0.1";
            }
            return r;
        }
    }
    if (o.drift && (r = Check(SetECG2_27_AAMIDriftTest(true), o, "--drift", "SetECG2_27_AAMIDriftTest"))) {
        return r;
    }
    if (o.dynamicRangeTest) {
        const int rc = SetDynamicRangeTest(true, o.dynamicRangeAmplitude, o.dynamicRangeFrequency);
        const char* option = rc == -3   ? "--dynamic-range-amplitude"
                             : rc == -4 ? "--dynamic-range-frequency"
                                        : "--dynamic-range-test";
        if ((r = Check(rc, o, option, "SetDynamicRangeTest"))) {
            return r;
        }
    }
    if (o.baselineReset) {
        const int hz = *o.baselineReset;
        const int mode = hz == 50 ? 1 : hz == 60 ? 2 : hz == 80 ? 3 : hz == 100 ? 4 : 0;
        if (mode == 0) {
            return Refusal{"--baseline-reset",
                           o.Typed("--baseline-reset"),
                           "SetBaselineResetTest",
                           -2,
                           AllowedFor("SetBaselineResetTest", -2),
                           false};
        }
        if ((r = Check(SetBaselineResetTest(mode), o, "--baseline-reset", "SetBaselineResetTest"))) {
            return r;
        }
    }
    // Selecting the output re-checks the frequency against the function's limit and stores the limit when
    // it was above; asking again tells the refusal.
    if (o.frequency && GetFrequency() != *o.frequency && !o.baselineReset) {
        if ((r = Check(SetFrequency(*o.frequency), o, "--frequency", "SetFrequency", FrequencyContext(o)))) {
            return r;
        }
    }
    return std::nullopt;
}

} // namespace qoltcli
