// A small JSON writer for the tools' machine-readable output: values are appended in order, commas and
// escapes are handled; the caller keeps the nesting balanced.
#pragma once

#include <cstdint>
#include <string>
#include <type_traits>

namespace qoltcli {

class Json {
public:
    Json& BeginObject();
    Json& EndObject();
    Json& BeginArray();
    Json& EndArray();
    Json& Key(const std::string& key);
    Json& String(const std::string& value);
    Json& Number(double value); // non-finite numbers are written as null
    Json& Integer(long long value);
    Json& Bool(bool value);
    Json& Null();

    // Key and value together.
    Json& Field(const std::string& key, const std::string& value) { return Key(key).String(value); }
    Json& Field(const std::string& key, const char* value) { return Key(key).String(value); }
    Json& Field(const std::string& key, double value) { return Key(key).Number(value); }
    template <typename T, std::enable_if_t<std::is_integral_v<T> && !std::is_same_v<T, bool>, int> = 0>
    Json& Field(const std::string& key, T value) {
        return Key(key).Integer(static_cast<long long>(value));
    }
    Json& Field(const std::string& key, bool value) { return Key(key).Bool(value); }

    const std::string& Text() const { return text_; }

    static std::string Quote(const std::string& text);

private:
    void Separate();
    std::string text_;
    bool needComma_ = false;
};

} // namespace qoltcli
