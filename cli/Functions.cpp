#include "Functions.h"

namespace qoltcli {

namespace {

const FunctionInfo kFunctions[] = {
    {"sine", Selector::OutputFunc, 1, nullptr, 500.0, "sine wave"},
    {"triangle", Selector::OutputFunc, 2, nullptr, 500.0, "triangle wave"},
    {"square", Selector::OutputFunc, 3, nullptr, 500.0, "square wave"},
    {"pulse", Selector::OutputFunc, 4, nullptr, 5.0, "rectangular pulse with 1 ms edges (--pulse-width)"},
    {"triangular-pulse", Selector::OutputFunc, 5, nullptr, 5.0, "triangular pulse (--pulse-width)"},
    {"exponential", Selector::OutputFunc, 6, nullptr, 500.0,
     "exponential pulse pair: a decay from +A, then from -A at 0.5 s (cycles of 1 s or longer: --frequency "
     "1)"},
    {"ecg2-27", Selector::EcgRateScan, 7, nullptr, 6.0,
     "ECG2_27 test complex (--qrs, --t-wave, --noise, --drift); the library plays it only while sweeping "
     "its rate from 0.05 to 0.5 Hz over 30 s, as `scan ecg` does"},
    {"ecg", Selector::OutputFunc, 10, nullptr, 500.0, "ECG complex P, Q, notched R, S, T"},
    {"ecg-single-r", Selector::OutputFunc, 11, nullptr, 500.0, "ECG complex with a single R wave"},
    {"iec227", Selector::SpecialWave227, 8, "N", 500.0, "stored IEC 60601-2-27 waveform N (0 to 9)"},
    {"iec251", Selector::SpecialWave251, 9, "N", 500.0,
     "stored IEC 60601-2-51 one-second waveform N (0 to 15)"},
    {"ane20000", Selector::Ane20000Lead, 15, "LEAD", 500.0, "lead LEAD (0 to 8) of the ANE20000 signal"},
    {"dynamic-range", Selector::OutputFunc, 14, nullptr, 500.0,
     "input dynamic-range staircase: DC steps of 0.5 every 0.5 s, -300 to 300 and back over 20 min (1 Hz)"},
    {nullptr, Selector::OutputFunc, 0, nullptr, 0.0, nullptr},
};

} // namespace

const FunctionInfo* FindFunction(const std::string& name) {
    for (const FunctionInfo* f = kFunctions; f->name != nullptr; ++f) {
        if (name == f->name) {
            return f;
        }
    }
    return nullptr;
}

const FunctionInfo* AllFunctions() {
    return kFunctions;
}

} // namespace qoltcli
