// Locale-free number parsing: the same results as the C library in the "C" locale, overflow handled.
#include "playback/CNumbers.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

const char* const kFloatTexts[] = {
    "0",
    "1",
    "-1",
    "+1",
    "  42",
    "\t\n\v\f\r 7",
    "3.25",
    ".5",
    "5.",
    ".",
    "-.5e1",
    "1e3",
    "1E-3",
    "1e",
    "1e+",
    "1e+x",
    "12abc",
    "0.1",
    "0.30000000000000004",
    "123456789012345678901234567890",
    "1e308",
    "1.7976931348623157e308",
    "1.8e308",
    "1e999",
    "-1e999",
    "1e-999",
    "-1e-999",
    "4.9e-324",
    "2e-324",
    "1e-310",
    "0x10",
    "0X1p4",
    "0x1.8p1",
    "0x.8",
    "0x",
    "0xg",
    "0x1p-1080",
    "0x1p2000",
    "-0x1P+3",
    "inf",
    "-INF",
    "Infinity",
    "infinit",
    "nan",
    "-NaN",
    "nan(123)",
    "nan(",
    "NAN(abc)x",
    "",
    " ",
    "--1",
    "+-1",
    "-+1",
    "- 1",
    "abc",
    "e5",
    "1.2.3",
    "1,5",
    "0000000000000000000000000000001e-20",
    "0.000000000000000000000000000000000000000000001e300",
    "100000000000000000000000000000000000000000000e-350",
    "3.4028235e38",
    "3.5e38",
    "1e-46",
    "1.4e-45",
};

TEST(ParseDoubleC, MatchesStrtodInTheCLocale) {
    for (const char* text : kFloatTexts) {
        char* cEnd = nullptr;
        const double expected = std::strtod(text, &cEnd);
        double value = -99.0;
        const char* end = nullptr;
        const bool matched = _ParseDoubleC(text, text + std::strlen(text), value, &end);
        EXPECT_EQ(matched, cEnd != text) << '"' << text << '"';
        EXPECT_EQ(end, cEnd) << '"' << text << '"';
        if (std::isnan(expected)) {
            EXPECT_TRUE(std::isnan(value)) << text;
            EXPECT_EQ(std::signbit(value), std::signbit(expected)) << text;
        } else {
            EXPECT_EQ(std::memcmp(&value, &expected, sizeof(double)), 0)
                << '"' << text << "\": " << value << " vs " << expected;
        }
    }
}

TEST(ParseFloatC, MatchesStrtofInTheCLocale) {
    for (const char* text : kFloatTexts) {
        char* cEnd = nullptr;
        const float expected = std::strtof(text, &cEnd);
        float value = -99.0f;
        const char* end = nullptr;
        _ParseFloatC(text, text + std::strlen(text), value, &end);
        EXPECT_EQ(end, cEnd) << '"' << text << '"';
        if (std::isnan(expected)) {
            EXPECT_TRUE(std::isnan(value)) << text;
        } else {
            EXPECT_EQ(std::memcmp(&value, &expected, sizeof(float)), 0)
                << '"' << text << "\": " << value << " vs " << expected;
        }
    }
}

// A hexadecimal subnormal float is rounded correctly: the exact value is 131072.5078 steps of 2^-149, so it
// rounds up, as strtof does with the decimal form of the same value (glibc's strtof rounds the hexadecimal
// form down, so it is no reference here).
TEST(ParseFloatC, HexadecimalSubnormalsRoundToNearest) {
    const std::string text = "-0x.000000000000000000000000000000001000041p0";
    float value = 0;
    ASSERT_TRUE(_ParseFloatC(text.data(), text.data() + text.size(), value));
    EXPECT_EQ(value, -std::ldexp(1.0f + std::ldexp(1.0f, -17), -132));
    EXPECT_EQ(value, -std::strtof("1.8367170391285883806628391239740490156970190900365603440390779949224e-40",
                                  nullptr));
}

TEST(ParseDoubleC, StopsAtTerminatorAndRangeEnd) {
    const char text[] = "12\0"
                        "34";
    double v = 0;
    ASSERT_TRUE(_ParseDoubleC(text, text + 5, v));
    EXPECT_EQ(v, 12.0);
    const char digits[] = "98765";
    ASSERT_TRUE(_ParseDoubleC(digits, digits + 3, v));
    EXPECT_EQ(v, 987.0);
    EXPECT_FALSE(_ParseDoubleC(digits, digits, v));
    EXPECT_EQ(v, 0.0);
    EXPECT_FALSE(_ParseDoubleC(nullptr, nullptr, v));
    EXPECT_EQ(_AtofC(nullptr), 0.0);
    EXPECT_EQ(_AtofC("  -2.5e2 V"), -250.0);
}

TEST(ParseInt64C, DecimalPrefixWithOverflowReported) {
    struct Case {
        const char* text;
        bool matched;
        int64_t value;
        bool overflow;
    };
    const Case cases[] = {
        {"0", true, 0, false},
        {"  +42abc", true, 42, false},
        {"-17", true, -17, false},
        {"\t\r\n 5", true, 5, false},
        {"9223372036854775807", true, INT64_MAX, false},
        {"9223372036854775808", true, INT64_MAX, true},
        {"-9223372036854775808", true, INT64_MIN, false},
        {"-9223372036854775809", true, INT64_MIN, true},
        {"99999999999999999999999999", true, INT64_MAX, true},
        {"abc", false, 0, false},
        {"", false, 0, false},
        {"-", false, 0, false},
        {"+ 1", false, 0, false},
        {"--1", false, 0, false},
        {"1.9", true, 1, false},
        {"0x10", true, 0, false},
    };
    for (const Case& c : cases) {
        int64_t v = -1;
        bool overflow = !c.overflow;
        EXPECT_EQ(_ParseInt64C(c.text, c.text + std::strlen(c.text), v, &overflow), c.matched) << c.text;
        EXPECT_EQ(v, c.value) << c.text;
        EXPECT_EQ(overflow, c.overflow) << c.text;
    }
}

TEST(AtoiC, SaturatesInsteadOfOverflowing) {
    EXPECT_EQ(_AtoiC("123"), 123);
    EXPECT_EQ(_AtoiC(" -123xyz"), -123);
    EXPECT_EQ(_AtoiC("0.5"), 0);
    EXPECT_EQ(_AtoiC("2147483647"), INT_MAX);
    EXPECT_EQ(_AtoiC("2147483648"), INT_MAX);
    EXPECT_EQ(_AtoiC("-2147483649"), INT_MIN);
    EXPECT_EQ(_AtoiC("99999999999999999999999"), INT_MAX);
    EXPECT_EQ(_AtoiC("x"), 0);
    EXPECT_EQ(_AtoiC(nullptr), 0);
    // The same as atoi wherever atoi is defined.
    for (const char* text : {"0", "-0", "+7", "  12 13", "-2147483648", "2147483647", "1e5", "abc", ""}) {
        EXPECT_EQ(_AtoiC(text), std::atoi(text)) << text;
    }
}

TEST(ScanIntC, RefusesNoDigitsAndOverflow) {
    int v = 77;
    EXPECT_TRUE(_ScanIntC(" 256 ", v));
    EXPECT_EQ(v, 256);
    EXPECT_TRUE(_ScanIntC("-3x", v));
    EXPECT_EQ(v, -3);
    v = 77;
    EXPECT_FALSE(_ScanIntC("abc", v));
    EXPECT_FALSE(_ScanIntC("", v));
    EXPECT_FALSE(_ScanIntC("2147483648", v));
    EXPECT_FALSE(_ScanIntC("-2147483649", v));
    EXPECT_FALSE(_ScanIntC(nullptr, v));
    EXPECT_EQ(v, 77);
}

TEST(ScanFloatC, LeavesValueWhenNothingParses) {
    float v = 0.0f;
    EXPECT_TRUE(_ScanFloatC("-3276.8", v));
    EXPECT_EQ(v, -3276.8f);
    v = 5.0f;
    EXPECT_FALSE(_ScanFloatC("uV", v));
    EXPECT_EQ(v, 5.0f);
    EXPECT_FALSE(_ScanFloatC(nullptr, v));
}

} // namespace
