#include "LocalTime.h"

#include <windows.h>

#include "u_bytesize.h"

uint32_t DosTimeOf(uint64_t fileTime) {
  FILETIME written{static_cast<DWORD>(fileTime), static_cast<DWORD>(fileTime >> 32)};
  FILETIME local;
  SYSTEMTIME parts;
  WORD date = 0, time = 0;
  // Wine's conversion lets dates after 2107 wrap round: they are refused first.
  if (!FileTimeToLocalFileTime(&written, &local) || !FileTimeToSystemTime(&local, &parts) || parts.wYear < 1980 ||
      parts.wYear > 2107 || !FileTimeToDosDateTime(&local, &date, &time))
    return 0;
  return static_cast<uint32_t>(date) << 16 | time;
}

char LocalDecimalSeparator() { return LocaleDecimalSeparator(); }
