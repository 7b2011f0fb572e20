// Counts shown to the user in the user's number format: the locale's digit
// grouping and separators, no fractional digits. The format is given to every
// call explicitly; the user's locale settings are never changed.
#pragma once

#include <windows.h>

#include <cstdint>

struct UserNumberFormat {
  NUMBERFMTA format;  // its separator pointers point into this record
  char decimalSeparator[8];
  char thousandSeparator[8];
};

// Reads the user default locale's grouping, separators and negative form.
void LoadUserNumberFormat(UserNumberFormat* out);

// The NUMBERFMT grouping value for a LOCALE_SGROUPING string: "3;0" gives 3 (groups of
// three throughout), "3;2;0" gives 32, "3" gives 30 (one group of three, then none).
UINT GroupingFromLocaleString(const char* grouping);

// Reads the user's format once for the formatting calls below (start-up does this; a
// call before it reads the format then).
void InitNumberFormat();

// Writes value with digit grouping into out (NUL-terminated). Returns the length, or 0
// when out is too small or the system refuses (out is then empty).
int FormatUserNumber(uint64_t value, char* out, int outSize);
// The same for a signed value, with the locale's negative form.
int FormatNumber(long long value, char* out, int outSize);

// A moment (seconds since 1970, UTC) in the user's short date and time formats, local time;
// false, with text empty, for one the system's times cannot hold or show.
bool FormatLocalMoment(int64_t moment, char* text, int size);
