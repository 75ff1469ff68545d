// The output functions by the names the command line uses, and how each is selected through the library.
#pragma once

#include <string>

namespace qoltcli {

enum class Selector {
    OutputFunc,     // SetOutputFunc(number)
    SpecialWave227, // SetSpecialWave227(argument)
    SpecialWave251, // SetSpecialWave251(argument)
    Ane20000Lead,   // SetANE20000Lead(argument)
    EcgRateScan,    // SetFreqScanECG(true): the only way the library plays the ECG2_27 complex
};

struct FunctionInfo {
    const char* name;
    Selector selector;
    int number;            // SetOutputFunc number (for OutputFunc)
    const char* argument;  // name of the required argument ("N", "LEAD"), or null
    double frequencyLimit; // highest frequency SetFrequency takes with this function
    const char* description;
};

// Null when the name is unknown.
const FunctionInfo* FindFunction(const std::string& name);
// All of them, ended by an entry with a null name.
const FunctionInfo* AllFunctions();

} // namespace qoltcli
