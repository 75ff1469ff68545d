#include "qolt_api.h"

#include <cstring>

namespace {

struct Meaning {
    const char* call;
    int code;
    const char* text;
};

// From the codes each call documents in qolt_api.h. The command-line tool's refusal messages read the
// same texts, so they are written as the end of "refused, ...".
const Meaning kMeanings[] = {
    {"SetAmplitude", -2, "allowed -2000 to 2000"},
    {"SetAmplitude", -3, "not while the baseline-reset test is on"},
    {"SetFrequency", -2,
     "allowed 0.05 Hz to the function's limit (5 Hz for pulses, 6 Hz for the ECG2_27 complex, 500 Hz "
     "otherwise); "
     "the bound was stored"},
    {"SetFrequency", -3, "not while a frequency scan runs"},
    {"SetFrequency", -4, "not while the baseline-reset test is on"},
    {"SetDCOffset", -2,
     "allowed -1000 to 1000 in variable mode; in fixed mode only 0, 300 or -300 (0, 150 or -150 on the "
     "enhanced model)"},
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
    {"SetDeviceNodeFormat", -2,
     "the format needs exactly one %d, no other conversion, and paths under 512 bytes"},
    {"SetLockDirectory", -2,
     "the directory must not be empty, and its lock-file paths must stay under 128 bytes"},
    {"SetDeviceInformation", 1, "success"},
    {"SetDeviceInformation", 0,
     "failed: no complete information block came on this link, or the write failed"},
    {"WriteMfgInfo", 1, "success"},
    {"WriteMfgInfo", 0, "failed: no complete information block came on this link, or the write failed"},
    {"LoadEEGtxt", -1, "the file cannot be opened, or is not a regular file"},
    {"LoadEEGtxt", -2, "the first line (the sample rate) is missing or not a number above 0"},
    {"LoadEEGtxt", -3, "the second line (the sample count) is missing or 0"},
    {"LoadEEGtxt", -4, "the sample count is negative, or there is not enough memory"},
    {"LoadEEGbin", -1, "the file cannot be opened, or is not a regular file"},
    {"LoadEEGbin", -2, "the file is shorter than 2 bytes or its sample rate is 0"},
    {"LoadEEGbin", -3, "the file is shorter than 6 bytes or its sample count is 0"},
    {"LoadEEGbin", -4, "the sample count is negative, or there is not enough memory"},
    {"LoadEEGedf", -1, "the file cannot be opened, or is not a valid EDF/EDF+ file"},
    {"LoadEEGedf", -2, "no such signal (signals count from 0), or one with no samples per record"},
    {"LoadEEGedf", -4, "the signal has more than INT_MAX samples, or there is not enough memory"},
};

bool IsLoader(const char* call) {
    return std::strncmp(call, "LoadEEG", 7) == 0;
}

} // namespace

const char* GetResultMeaning(const char* call, int code) {
    if (call == nullptr) {
        return "";
    }
    for (const Meaning& m : kMeanings) {
        if (code == m.code && std::strcmp(call, m.call) == 0) {
            return m.text;
        }
    }
    if (IsLoader(call)) {
        return code > 0 ? "samples loaded" : code == 0 ? "the file holds no samples" : "";
    }
    if (code == 0) {
        return "success";
    }
    return code == -1 ? "no instrument is ready" : "";
}
