// The EDF+ field and date parsers on arbitrary text in exact-size buffers (any write past a text is caught),
// and the locale-free number parsers against the C library in the fuzzer's "C" locale.
#include "fuzz/FuzzFiles.h"
#include "playback/CNumbers.h"
#include "playback/EDFDateTime.h"
#include "playback/EDFIdentification.h"
#include "playback/TextTokens.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <string>

namespace {

// The input as a terminated text in a buffer of exactly its size.
std::unique_ptr<char[]> Copy(const std::string& text) {
    std::unique_ptr<char[]> p(new char[text.size() + 1]);
    std::memcpy(p.get(), text.c_str(), text.size() + 1);
    return p;
}

// Bit-equal to the C library, except where it is known to round wrongly: glibc's strtof/strtod can be one
// step off for hexadecimal input whose value falls among the subnormals
// (0x.000000000000000000000000000000001000041 gives 0x1p-132 where the exact value rounds to 0x1.00008p-132,
// as the decimal form of the same value does).
template <class T> bool SameAsCLibrary(T value, T expected, const std::string& text) {
    if (std::isnan(expected)) {
        return std::isnan(value);
    }
    if (std::memcmp(&value, &expected, sizeof(T)) == 0) {
        return true;
    }
    const bool hex = text.find_first_of("xX") != std::string::npos;
    return hex && std::fabs(expected) < std::numeric_limits<T>::min() &&
           (value == std::nextafter(expected, T(1)) || value == std::nextafter(expected, T(-1)));
}

void CheckNumbers(const std::string& text) {
    const char* first = text.c_str();
    const char* last = first + text.size();

    char* cEnd = nullptr;
    const double expected = std::strtod(first, &cEnd);
    double value = 0;
    const char* end = nullptr;
    _ParseDoubleC(first, last, value, &end);
    FUZZ_CHECK(end == cEnd);
    FUZZ_CHECK(SameAsCLibrary(value, expected, text));

    const float expectedF = std::strtof(first, &cEnd);
    float valueF = 0;
    _ParseFloatC(first, last, valueF, &end);
    FUZZ_CHECK(end == cEnd);
    FUZZ_CHECK(SameAsCLibrary(valueF, expectedF, text));

    errno = 0;
    const long long expectedI = std::strtoll(first, &cEnd, 10);
    const bool cOverflow = errno == ERANGE;
    int64_t valueI = 0;
    bool overflow = false;
    const bool matched = _ParseInt64C(first, last, valueI, &overflow);
    // strtoll also takes an empty sign-less prefix as no number; both agree on where a number is.
    FUZZ_CHECK(matched == (cEnd != first));
    FUZZ_CHECK(valueI == expectedI && overflow == cOverflow);
    const int atoi = _AtoiC(first);
    FUZZ_CHECK(atoi == static_cast<int>(std::clamp<long long>(expectedI, INT_MIN, INT_MAX)));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string all(reinterpret_cast<const char*>(data), size);
    const std::string text = all.substr(0, all.find('\0'));
    CheckNumbers(text);

    for (const char* format : {"dd-MMM-yyyy", "dd.MM.yy", "yy"}) {
        auto p = Copy(text);
        btParseDate(p.get(), format);
    }
    for (const char* format : {"H.mm.ss", "HH.mm.ss", "x"}) {
        auto p = Copy(text);
        btParseTime(p.get(), format);
    }
    {
        auto p = Copy(text);
        iMMMtoMonth(p.get());
        char* tokens[8];
        FUZZ_CHECK(btParseBySpace(p.get(), tokens, 8) <= 8);
    }
    {
        auto p = Copy(text);
        EDFLocalPatientIdentification patient;
        if (patient.ParsePatientIdentificationSubFields(p.get())) {
            FUZZ_CHECK(!patient.m_strPatientCode.empty() && !patient.m_strPatientName.empty());
        }
    }
    {
        auto p = Copy(text);
        EDFLocalRecordingIdentification recording;
        recording.ParseRecordingIdentificationSubFields(p.get());
    }
    {
        auto p = Copy(text);
        StringTrim(p.get());
        const size_t n = std::strlen(p.get());
        FUZZ_CHECK(n == 0 || (!_IsSpaceC(p[0]) && !_IsSpaceC(p[n - 1])));
    }
    return 0;
}
