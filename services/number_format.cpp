#include "services/number_format.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>

UINT GroupingFromLocaleString(const char* grouping) {
  UINT value = 0;
  int last = -1;
  for (const char* p = grouping ? grouping : ""; *p; ++p) {
    if (*p < '0' || *p > '9') continue;
    last = *p - '0';
    value = value * 10 + static_cast<UINT>(last);
  }
  // A final 0 repeats the group before it, which is what a plain value means to
  // NUMBERFMT; without it the last group is not repeated, which a trailing 0 says there.
  if (last == 0) return value / 10;
  return value * 10;
}

void LoadUserNumberFormat(UserNumberFormat* out) {
  std::memset(out, 0, sizeof *out);
  char text[16] = {};
  if (GetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL, out->decimalSeparator,
                     sizeof out->decimalSeparator) == 0)
    std::strcpy(out->decimalSeparator, ".");
  if (GetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_STHOUSAND, out->thousandSeparator,
                     sizeof out->thousandSeparator) == 0)
    std::strcpy(out->thousandSeparator, ",");
  out->format.Grouping = GetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_SGROUPING, text, sizeof text)
                             ? GroupingFromLocaleString(text)
                             : 3;
  out->format.LeadingZero = GetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_ILZERO, text, sizeof text)
                                ? static_cast<UINT>(std::atoi(text))
                                : 1;
  out->format.NegativeOrder = GetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_INEGNUMBER, text, sizeof text)
                                  ? static_cast<UINT>(std::atoi(text))
                                  : 1;
  out->format.NumDigits = 0;
  out->format.lpDecimalSep = out->decimalSeparator;
  out->format.lpThousandSep = out->thousandSeparator;
}

namespace {

// Read once on the user-interface thread, the only one that formats numbers.
UserNumberFormat g_format;
bool g_formatLoaded = false;

// Formats a plain decimal string; NULL as format would group wrongly under Wine.
int FormatDigits(const char* digits, char* out, int outSize) {
  if (out == nullptr || outSize <= 0) return 0;
  if (!g_formatLoaded) InitNumberFormat();
  const int written = GetNumberFormatA(LOCALE_USER_DEFAULT, 0, digits, &g_format.format, out, outSize);
  if (written <= 0) {
    out[0] = '\0';
    return 0;
  }
  return written - 1;
}

}  // namespace

void InitNumberFormat() {
  LoadUserNumberFormat(&g_format);
  g_formatLoaded = true;
}

int FormatUserNumber(uint64_t value, char* out, int outSize) {
  char digits[24];
  std::snprintf(digits, sizeof digits, "%llu", static_cast<unsigned long long>(value));
  return FormatDigits(digits, out, outSize);
}

int FormatNumber(long long value, char* out, int outSize) {
  char digits[24];
  std::snprintf(digits, sizeof digits, "%lld", value);
  return FormatDigits(digits, out, outSize);
}

namespace {

// A moment (seconds since 1970, UTC) as the user's local time; false for one the system's
// times cannot hold (before 1601, or past the year 30827).
bool LocalTimeOf(int64_t moment, SYSTEMTIME* local) {
  constexpr int64_t kSecondsFrom1601 = 11644473600;  // to 1970, where moments count from
  constexpr int64_t kTicksPerSecond = 10000000;      // a FILETIME counts tenths of microseconds
  if (moment < -kSecondsFrom1601 ||
      moment > std::numeric_limits<int64_t>::max() / kTicksPerSecond - kSecondsFrom1601)
    return false;
  const uint64_t ticks = static_cast<uint64_t>(moment + kSecondsFrom1601) * kTicksPerSecond;
  FILETIME at;
  at.dwLowDateTime = static_cast<DWORD>(ticks);
  at.dwHighDateTime = static_cast<DWORD>(ticks >> 32);
  SYSTEMTIME utc;
  return FileTimeToSystemTime(&at, &utc) && SystemTimeToTzSpecificLocalTime(nullptr, &utc, local);
}

}  // namespace

bool FormatLocalMoment(int64_t moment, char* text, int size) {
  text[0] = '\0';
  SYSTEMTIME local;
  if (!LocalTimeOf(moment, &local)) return false;
  const int date = GetDateFormatA(LOCALE_USER_DEFAULT, DATE_SHORTDATE, &local, nullptr, text, size);
  // The count includes the date's NUL, which the space before the time replaces.
  if (date <= 0 || date >= size) {
    text[0] = '\0';
    return false;
  }
  text[date - 1] = ' ';
  if (GetTimeFormatA(LOCALE_USER_DEFAULT, TIME_NOSECONDS, &local, nullptr, text + date, size - date) <= 0) {
    text[0] = '\0';
    return false;
  }
  return true;
}
