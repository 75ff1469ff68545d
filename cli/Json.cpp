#include "Json.h"

#include <cmath>
#include <cstdio>

namespace qoltcli {

std::string Json::Quote(const std::string& text) {
    std::string q = "\"";
    for (unsigned char c : text) {
        switch (c) {
        case '"':
            q += "\\\"";
            break;
        case '\\':
            q += "\\\\";
            break;
        case '\n':
            q += "\\n";
            break;
        case '\r':
            q += "\\r";
            break;
        case '\t':
            q += "\\t";
            break;
        default:
            if (c < 0x20) {
                char u[8];
                std::snprintf(u, sizeof u, "\\u%04x", static_cast<unsigned>(c));
                q += u;
            } else {
                q += static_cast<char>(c);
            }
        }
    }
    q += '"';
    return q;
}

void Json::Separate() {
    if (needComma_) {
        text_ += ',';
    }
    needComma_ = true;
}

Json& Json::BeginObject() {
    Separate();
    text_ += '{';
    needComma_ = false;
    return *this;
}

Json& Json::EndObject() {
    text_ += '}';
    needComma_ = true;
    return *this;
}

Json& Json::BeginArray() {
    Separate();
    text_ += '[';
    needComma_ = false;
    return *this;
}

Json& Json::EndArray() {
    text_ += ']';
    needComma_ = true;
    return *this;
}

Json& Json::Key(const std::string& key) {
    Separate();
    text_ += Quote(key);
    text_ += ':';
    needComma_ = false;
    return *this;
}

Json& Json::String(const std::string& value) {
    Separate();
    text_ += Quote(value);
    return *this;
}

Json& Json::Number(double value) {
    Separate();
    if (!std::isfinite(value)) {
        text_ += "null";
        return *this;
    }
    char n[40];
    std::snprintf(n, sizeof n, "%.10g", value);
    text_ += n;
    return *this;
}

Json& Json::Integer(long long value) {
    Separate();
    text_ += std::to_string(value);
    return *this;
}

Json& Json::Bool(bool value) {
    Separate();
    text_ += value ? "true" : "false";
    return *this;
}

Json& Json::Null() {
    Separate();
    text_ += "null";
    return *this;
}

} // namespace qoltcli
