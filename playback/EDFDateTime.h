#pragma once

// Dates and times of EDF and EDF+ headers, packed into 32-bit integers:
//   date = year * 10000 + month * 100 + day   (15 August 2011 is 20110815)
//   time = hours * 10000 + minutes * 100 + seconds   (13:05:09 is 130509)
// Both parsers work in place (they write terminators into the text) and never fail loudly: an unknown
// format, a text too short for its format, a scan that fails or a packed value beyond 32 bits gives the
// default, the date 20110101 or the time 0. Day, month and time ranges are not checked.

// Formats: "dd-MMM-yyyy" (EDF+ sub-fields, month as JAN..DEC in any case) and "dd.MM.yy" (EDF header; years
// 81..99 are 1981..1999, 0..80 are 2000..2080).
int btParseDate(char* text, const char* format);

// Formats: "H.mm.ss" (one- or two-digit hour, cut at the full stops) and "HH.mm.ss" (fixed positions).
int btParseTime(char* text, const char* format);

// Month number 1..12 of a three-letter English month name (any case, the whole text); 0 when none.
int iMMMtoMonth(const char* text);
