#include "Refusal.h"

#include "qolt_api.h"

namespace qoltcli {

std::string AllowedFor(const std::string& call, int code, const std::string& context) {
    // The library's texts, except where the state decides what is allowed.
    if (call == "SetFrequency" && code == -2) {
        return "allowed 0.05 to " + context;
    }
    if (call == "SetDCOffset" && code == -2) {
        return "allowed " + context;
    }
    return code < 0 ? GetResultMeaning(call.c_str(), code) : std::string();
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
