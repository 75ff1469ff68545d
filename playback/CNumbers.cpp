#include "playback/CNumbers.h"

#include <charconv>
#include <climits>
#include <cmath>
#include <cstring>
#include <limits>
#include <system_error>

namespace {

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

bool IsHexDigit(char c) {
    return IsDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// The end of the text: 'last' or the first terminator before it (the C functions stop there).
const char* TextEnd(const char* first, const char* last) {
    const void* nul = std::memchr(first, '\0', static_cast<size_t>(last - first));
    return nul != nullptr ? static_cast<const char*>(nul) : last;
}

// Past leading white space and one optional sign, as the C functions read a number.
const char* SkipSpaceAndSign(const char* p, const char* last, bool& negative) {
    while (p < last && _IsSpaceC(*p)) {
        ++p;
    }
    negative = p < last && *p == '-';
    if (p < last && (*p == '+' || *p == '-')) {
        ++p;
    }
    return p;
}

// from_chars reports overflow and underflow alike; tell them apart by the magnitude of the matched text:
// the power of the radix of its first significant digit plus its exponent. Values this far out of range
// never sit near the border, so the estimate decides correctly.
bool MatchedTextOverflows(const char* p, const char* end, bool hex) {
    int64_t position = 0; // power of the first significant digit, in digits of the radix
    bool seenSignificant = false;
    bool afterPoint = false;
    int64_t fractionZeros = 0;
    for (; p < end; ++p) {
        const char c = *p;
        if (c == '.') {
            afterPoint = true;
            continue;
        }
        if (!(hex ? IsHexDigit(c) : IsDigit(c))) {
            break;
        }
        if (!seenSignificant) {
            if (c == '0') {
                if (afterPoint) {
                    ++fractionZeros;
                }
                continue;
            }
            seenSignificant = true;
            position = afterPoint ? -fractionZeros - 1 : 0;
        } else if (!afterPoint) {
            ++position;
        }
    }
    if (!seenSignificant) {
        return false;
    }
    int64_t exponent = 0;
    if (p < end && (*p == 'e' || *p == 'E' || *p == 'p' || *p == 'P')) {
        ++p;
        bool negative = false;
        if (p < end && (*p == '+' || *p == '-')) {
            negative = *p == '-';
            ++p;
        }
        for (; p < end && IsDigit(*p); ++p) {
            if (exponent < 100000000) {
                exponent = exponent * 10 + (*p - '0');
            }
        }
        if (negative) {
            exponent = -exponent;
        }
    }
    // Hexadecimal: digits count four bits each, the exponent is binary.
    const int64_t magnitude = hex ? position * 4 + exponent : position + exponent;
    return magnitude >= 0;
}

// End of a hexadecimal floating-point pattern (after "0x"): digits, an optional fraction, and an exponent
// only when "p", an optional sign and at least one decimal digit follow. Some from_chars implementations
// take more (a second sign in the exponent), so they only ever see the pattern itself.
const char* HexPatternEnd(const char* p, const char* last) {
    while (p < last && IsHexDigit(*p)) {
        ++p;
    }
    if (p < last && *p == '.') {
        ++p;
        while (p < last && IsHexDigit(*p)) {
            ++p;
        }
    }
    if (p < last && (*p == 'p' || *p == 'P')) {
        const char* q = p + 1;
        if (q < last && (*q == '+' || *q == '-')) {
            ++q;
        }
        if (q < last && IsDigit(*q)) {
            while (q < last && IsDigit(*q)) {
                ++q;
            }
            p = q;
        }
    }
    return p;
}

template <class T> bool ParseFloating(const char* first, const char* last, T& value, const char** end) {
    if (end != nullptr) {
        *end = first;
    }
    value = 0;
    if (first == nullptr || last <= first) {
        return false;
    }
    last = TextEnd(first, last);
    bool negative = false;
    const char* p = SkipSpaceAndSign(first, last, negative);
    // from_chars takes its own minus sign; a second sign is not a number.
    if (p == last || *p == '+' || *p == '-') {
        return false;
    }
    bool hex = false;
    const char* digits = p;
    if (last - p >= 2 && p[0] == '0' && (p[1] == 'x' || p[1] == 'X')) {
        const char* q = p + 2;
        if (q < last && (IsHexDigit(*q) || (*q == '.' && q + 1 < last && IsHexDigit(q[1])))) {
            hex = true;
            digits = q;
        }
    }
    T parsed = 0;
    const std::from_chars_result r =
        std::from_chars(digits, hex ? HexPatternEnd(digits, last) : last, parsed,
                        hex ? std::chars_format::hex : std::chars_format::general);
    if (r.ec == std::errc::invalid_argument || r.ptr == digits) {
        return false;
    }
    if (r.ec == std::errc::result_out_of_range) {
        parsed = MatchedTextOverflows(digits, r.ptr, hex) ? std::numeric_limits<T>::infinity() : T(0);
    }
    value = negative ? -parsed : parsed;
    if (end != nullptr) {
        *end = r.ptr;
    }
    return true;
}

} // namespace

bool _ParseDoubleC(const char* first, const char* last, double& value, const char** end) {
    return ParseFloating(first, last, value, end);
}

bool _ParseFloatC(const char* first, const char* last, float& value, const char** end) {
    return ParseFloating(first, last, value, end);
}

double _AtofC(const char* text) {
    if (text == nullptr) {
        return 0.0;
    }
    double value = 0.0;
    _ParseDoubleC(text, text + std::strlen(text), value);
    return value;
}

bool _ParseInt64C(const char* first, const char* last, int64_t& value, bool* overflow) {
    value = 0;
    if (overflow != nullptr) {
        *overflow = false;
    }
    if (first == nullptr || last <= first) {
        return false;
    }
    last = TextEnd(first, last);
    bool negative = false;
    const char* p = SkipSpaceAndSign(first, last, negative);
    if (p == last || !IsDigit(*p)) {
        return false;
    }
    // Accumulate negatively so that INT64_MIN itself fits.
    int64_t acc = 0;
    bool over = false;
    for (; p < last && IsDigit(*p); ++p) {
        const int digit = *p - '0';
        if (!over) {
            if (acc < (INT64_MIN + digit) / 10) {
                over = true;
            } else {
                acc = acc * 10 - digit;
            }
        }
    }
    if (over) {
        value = negative ? INT64_MIN : INT64_MAX;
    } else if (negative) {
        value = acc;
    } else if (acc == INT64_MIN) {
        over = true;
        value = INT64_MAX;
    } else {
        value = -acc;
    }
    if (overflow != nullptr) {
        *overflow = over;
    }
    return true;
}

int _AtoiC(const char* text) {
    if (text == nullptr) {
        return 0;
    }
    int64_t v = 0;
    _ParseInt64C(text, text + std::strlen(text), v);
    if (v > INT_MAX) {
        return INT_MAX;
    }
    if (v < INT_MIN) {
        return INT_MIN;
    }
    return static_cast<int>(v);
}

bool _ScanIntC(const char* text, int& value) {
    if (text == nullptr) {
        return false;
    }
    int64_t v = 0;
    bool overflow = false;
    if (!_ParseInt64C(text, text + std::strlen(text), v, &overflow) || overflow || v > INT_MAX ||
        v < INT_MIN) {
        return false;
    }
    value = static_cast<int>(v);
    return true;
}

bool _ScanFloatC(const char* text, float& value) {
    if (text == nullptr) {
        return false;
    }
    float v = 0;
    if (!_ParseFloatC(text, text + std::strlen(text), v)) {
        return false;
    }
    value = v;
    return true;
}
