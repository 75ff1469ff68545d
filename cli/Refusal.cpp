#include "Refusal.h"

#include <cstring>

namespace qoltcli {

namespace {

struct Entry {
    const char* call;
    int code;
    const char* allowed;
};

// From the codes each call documents in qolt_api.h.
const Entry kEntries[] = {
    {"SetAmplitude", -2, "allowed -2000 to 2000"},
    {"SetAmplitude", -3, "not while the baseline-reset test is on"},
    {"SetFrequency", -3, "not while a frequency scan runs"},
    {"SetFrequency", -4, "not while the baseline-reset test is on"},
    {"SetOutputLead", -2, "allowed leads 0 to 8"},
    {"SetPulseWidth", -2, "allowed 2 to 300 ms"},
    {"SetBaselineResetTest", -2, "allowed 50, 60, 80 or 100 Hz, and only with sine"},
    {"SetSpecialWave227", -2, "allowed 0 to 9"},
    {"SetSpecialWave251", -2, "allowed 0 to 15"},
    {"SetANE20000Lead", -1, "allowed leads 0 to 8"},
    {"SetQRSDuration", -2, "allowed 5 to 200 ms"},
    {"SetTWave", -2, "allowed 0 to 2.5"},
    {"SetPacingAmplitude", -2, "allowed -700 to 700 (0 = no pacing)"},
    {"SetPacingDuration", -2, "allowed 0.1 to 3 ms"},
    {"SetPacingRate", -2, "allowed 10 to 300 per minute"},
    {"SetOvershootTimeConstant", -2, "allowed 0 to 100 ms"},
    {"SetPacingOvershootAmp", -2, "allowed -5 to 5"},
    {"SetECG2_27_Noise", -2, "only with ecg2-27 (or scan ecg)"},
    {"SetECG2_27_Noise", -3, "allowed noise amplitudes 0.01 to 0.2"},
    {"SetDynamicRangeTest", -2, "only with triangle or square"},
    {"SetDynamicRangeTest", -3, "allowed 0 to 5"},
    {"SetDynamicRangeTest", -4, "allowed 10 to 50 Hz"},
    {"SetFreqScanSine", -2, "allowed start frequencies 0.5 to 500 Hz"},
    {"SetFreqScanSine", -3, "allowed stop frequencies 0.01 to 500 Hz"},
    {"SetFreqScanSine", -4, "allowed durations 10 to 180 s"},
};

} // namespace

std::string AllowedFor(const std::string& call, int code, const std::string& context) {
    if (code == -1 && call != "SetANE20000Lead") {
        return "no instrument is ready";
    }
    if (call == "SetFrequency" && code == -2) {
        return "allowed 0.05 to " + context;
    }
    if (call == "SetDCOffset" && code == -2) {
        return "allowed " + context;
    }
    for (const Entry& e : kEntries) {
        if (call == e.call && code == e.code) {
            return e.allowed;
        }
    }
    return {};
}

std::string Refusal::Message() const {
    std::string m = option;
    if (!value.empty()) {
        m += " " + value;
    }
    m += ": refused";
    if (!allowed.empty()) {
        m += ", " + allowed;
    }
    if (!call.empty()) {
        m += " (" + call + (called ? " returned " : " refuses it with ") + std::to_string(code) + ")";
    }
    return m;
}

} // namespace qoltcli
