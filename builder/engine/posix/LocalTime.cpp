#include "LocalTime.h"

#include <time.h>

uint32_t DosTimeOf(uint64_t fileTime) {
  // The offset from UTC in force now, for every date, as Windows converts file times.
  time_t now = time(nullptr);
  struct tm local;
  if (!localtime_r(&now, &local)) return 0;
  int64_t seconds = static_cast<int64_t>(fileTime / 10000000u) - 11644473600LL + local.tm_gmtoff;
  time_t at = static_cast<time_t>(seconds);
  struct tm parts;
  if (!gmtime_r(&at, &parts) || parts.tm_year < 80 || parts.tm_year > 207) return 0;
  uint32_t date = static_cast<uint32_t>((parts.tm_year - 80) << 9 | (parts.tm_mon + 1) << 5 | parts.tm_mday);
  uint32_t time = static_cast<uint32_t>(parts.tm_hour << 11 | parts.tm_min << 5 | parts.tm_sec / 2);
  return date << 16 | time;
}

char LocalDecimalSeparator() { return '.'; }
