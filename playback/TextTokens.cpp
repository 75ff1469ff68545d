#include "playback/TextTokens.h"

#include "playback/CNumbers.h"

#include <cstring>

namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

} // namespace

int btParseBySpace(char* text, char** tokens, int max) {
    if (text == nullptr) {
        return 0;
    }
    int count = 0;
    char* p = text;
    for (;;) {
        while (IsBlank(*p)) {
            ++p;
        }
        if (*p == '\0') {
            break;
        }
        char* start = p;
        while (*p != '\0' && !IsBlank(*p)) {
            ++p;
        }
        if (*p != '\0') {
            *p++ = '\0';
        }
        if (count >= max) {
            break;
        }
        tokens[count++] = start;
    }
    return count;
}

void StringTrimRight(char* text) {
    if (text == nullptr) {
        return;
    }
    size_t n = std::strlen(text);
    while (n > 0 && _IsSpaceC(text[n - 1])) {
        --n;
    }
    text[n] = '\0';
}

void StringTrimLeft(char* text) {
    if (text == nullptr) {
        return;
    }
    size_t skip = 0;
    while (_IsSpaceC(text[skip])) {
        ++skip;
    }
    if (skip > 0) {
        std::memmove(text, text + skip, std::strlen(text + skip) + 1);
    }
}

void StringTrim(char* text) {
    StringTrimRight(text);
    StringTrimLeft(text);
}
