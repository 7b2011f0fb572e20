#include "archive/dos_time.h"

#include <ctime>

uint32_t DosDateTimeOf(int64_t moment) {
  const std::time_t at = static_cast<std::time_t>(moment);
  std::tm local{};
#ifdef _WIN32
  if (localtime_s(&local, &at) != 0) return 0;
#else
  if (localtime_r(&at, &local) == nullptr) return 0;
#endif
  // The year field counts 7 bits from 1980; a moment outside that span is held at its ends.
  int year = local.tm_year + 1900 - 1980;
  if (year < 0) year = 0;
  if (year > 127) year = 127;
  const uint32_t date = static_cast<uint32_t>(year << 9 | (local.tm_mon + 1) << 5 | local.tm_mday);
  const uint32_t time = static_cast<uint32_t>(local.tm_hour << 11 | local.tm_min << 5 | local.tm_sec / 2);
  return date << 16 | time;
}

uint32_t DosDateTimeNow() { return DosDateTimeOf(static_cast<int64_t>(std::time(nullptr))); }

bool MomentOfDosDateTime(uint32_t dos, int64_t* moment) {
  const uint32_t date = dos >> 16, time = dos & 0xFFFF;
  std::tm local{};
  local.tm_year = static_cast<int>(date >> 9) + 1980 - 1900;
  local.tm_mon = static_cast<int>(date >> 5 & 0x0F) - 1;
  local.tm_mday = static_cast<int>(date & 0x1F);
  local.tm_hour = static_cast<int>(time >> 11);
  local.tm_min = static_cast<int>(time >> 5 & 0x3F);
  local.tm_sec = static_cast<int>(time & 0x1F) * 2;
  local.tm_isdst = -1;
  if (local.tm_mon < 0 || local.tm_mon > 11 || local.tm_mday < 1 || local.tm_hour > 23 || local.tm_min > 59 ||
      local.tm_sec > 59)
    return false;
  const std::time_t at = std::mktime(&local);
  if (at == static_cast<std::time_t>(-1)) return false;
  *moment = static_cast<int64_t>(at);
  return true;
}
