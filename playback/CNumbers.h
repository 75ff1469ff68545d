#pragma once

#include <cstdint>

// Number parsing that means the same whatever locale the host application set: the forms the C library's
// atof/atoi/sscanf accept in the "C" locale, with overflow handled instead of undefined.
// Every function reads the text [first, last) and stops early at a terminator, like its C counterpart.

// atof/strtod form: leading white space, optional sign, then a decimal or hexadecimal floating-point number,
// "inf"/"infinity" or "nan"/"nan(...)". Out-of-range values become +/-infinity or +/-0 as strtod gives.
// Returns false (value 0, *end = first) when no number is there.
bool _ParseDoubleC(const char* first, const char* last, double& value, const char** end = nullptr);
bool _ParseFloatC(const char* first, const char* last, float& value, const char** end = nullptr);

// atof: the number at the start of a terminated text, 0 when there is none.
double _AtofC(const char* text);

// Decimal integer prefix: leading white space, optional sign, digits. Returns false when no digit follows;
// on overflow the value saturates at INT64_MIN/INT64_MAX and *overflow is set.
bool _ParseInt64C(const char* first, const char* last, int64_t& value, bool* overflow = nullptr);

// atoi on a terminated text, saturating at INT_MIN/INT_MAX instead of overflowing; 0 when no number.
int _AtoiC(const char* text);

// sscanf "%d": false when no digit follows or the value does not fit an int.
bool _ScanIntC(const char* text, int& value);

// sscanf "%f": false when no number is there; value untouched then.
bool _ScanFloatC(const char* text, float& value);

// The C locale's isspace: space, \t, \n, \v, \f, \r.
inline bool _IsSpaceC(char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}
