#include "playback/EDFDateTime.h"

#include "playback/CNumbers.h"

#include <climits>
#include <cstdint>
#include <cstring>

namespace {

const int kDefaultDate = 20110101;
const int kDefaultTime = 0;

const char* const kMonths[12] = {"JAN", "FEB", "MAR", "APR", "MAY", "JUN",
                                 "JUL", "AUG", "SEP", "OCT", "NOV", "DEC"};

char UpperAscii(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

// Packs three fields, or returns the fallback when the result does not fit 32 bits.
int Pack(int64_t high, int64_t middle, int64_t low, int fallback) {
    const int64_t packed = high * 10000 + middle * 100 + low;
    if (packed > INT_MAX || packed < INT_MIN) {
        return fallback;
    }
    return static_cast<int>(packed);
}

} // namespace

int iMMMtoMonth(const char* text) {
    if (text == nullptr) {
        return 0;
    }
    for (int m = 0; m < 12; ++m) {
        const char* name = kMonths[m];
        size_t i = 0;
        while (name[i] != '\0' && UpperAscii(text[i]) == name[i]) {
            ++i;
        }
        if (name[i] == '\0' && text[i] == '\0') {
            return m + 1;
        }
    }
    return 0;
}

int btParseDate(char* text, const char* format) {
    if (text == nullptr || format == nullptr) {
        return kDefaultDate;
    }
    const size_t length = std::strlen(text);
    int day = 0;
    int month = 0;
    int year = 0;
    if (std::strcmp(format, "dd-MMM-yyyy") == 0) {
        // Terminators go to positions 2 and 6: a shorter text (the EDF+ unknown mark "X") must stay intact.
        if (length < 7) {
            return kDefaultDate;
        }
        text[2] = '\0';
        text[6] = '\0';
        if (!_ScanIntC(text, day) || !_ScanIntC(text + 7, year)) {
            return kDefaultDate;
        }
        month = iMMMtoMonth(text + 3);
        if (month == 0) {
            return kDefaultDate;
        }
    } else if (std::strcmp(format, "dd.MM.yy") == 0) {
        if (length < 6) {
            return kDefaultDate;
        }
        text[2] = '\0';
        text[5] = '\0';
        if (!_ScanIntC(text, day) || !_ScanIntC(text + 3, month) || !_ScanIntC(text + 6, year)) {
            return kDefaultDate;
        }
        if (year <= 99) {
            year += year > 80 ? 1900 : 2000;
        }
    } else {
        return kDefaultDate;
    }
    return Pack(year, month, day, kDefaultDate);
}

int btParseTime(char* text, const char* format) {
    if (text == nullptr || format == nullptr) {
        return kDefaultTime;
    }
    int hours = 0;
    int minutes = 0;
    int seconds = 0;
    if (std::strcmp(format, "H.mm.ss") == 0) {
        char* first = std::strchr(text, '.');
        if (first == nullptr) {
            return kDefaultTime;
        }
        char* second = std::strchr(first + 1, '.');
        if (second == nullptr) {
            return kDefaultTime;
        }
        *first = '\0';
        *second = '\0';
        if (!_ScanIntC(text, hours) || !_ScanIntC(first + 1, minutes) || !_ScanIntC(second + 1, seconds)) {
            return kDefaultTime;
        }
    } else if (std::strcmp(format, "HH.mm.ss") == 0) {
        if (std::strlen(text) < 6) {
            return kDefaultTime;
        }
        text[2] = '\0';
        text[5] = '\0';
        if (!_ScanIntC(text, hours) || !_ScanIntC(text + 3, minutes) || !_ScanIntC(text + 6, seconds)) {
            return kDefaultTime;
        }
    } else {
        return kDefaultTime;
    }
    return Pack(hours, minutes, seconds, kDefaultTime);
}
