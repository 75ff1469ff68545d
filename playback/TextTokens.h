#pragma once

// In-place text helpers: they write terminators into the text they are given.

// Splits a text into tokens separated by blanks (space, tab, line feed, carriage return): the blank after
// each token becomes a terminator and the token's start goes into tokens[]. Stores at most max tokens and
// returns how many; a null text gives 0.
int btParseBySpace(char* text, char** tokens, int max);

// Trailing / leading / both runs of white space (space, \t, \n, \v, \f, \r) removed in place.
void StringTrimRight(char* text);
void StringTrimLeft(char* text);
void StringTrim(char* text);
