// A setting the library refused, reported in one line naming the option (or argument), the value as
// typed and what the library allows, taken from the code the call returned.
#pragma once

#include <string>

namespace qoltcli {

struct Refusal {
    std::string option;  // "--pacing-rate", "START", "N" ...
    std::string value;   // as typed
    std::string call;    // "SetPacingRate"; empty for a rule of the tool's own (no call, no code named)
    int code = 0;        // what it returned
    std::string allowed; // "allowed 10 to 300 per minute", "only with sine" ...
    bool called = true;  // false: the value cannot even be passed (the call's documented code is named)

    // "--pacing-rate 400: refused, allowed 10 to 300 per minute (SetPacingRate returned -2)"
    std::string Message() const;
};

// What the library allows, for a call and the code it returned: the library's own text (GetResultMeaning),
// except where `context` fills in what depends on the state (the function name for SetFrequency, the offset
// range for SetDCOffset). Empty for unknown pairs.
std::string AllowedFor(const std::string& call, int code, const std::string& context = std::string());

} // namespace qoltcli
