#include "u_bytesize.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace {

struct ByteUnit {
  int shift;      // the unit is 2^shift bytes
  int decimals;
  const char* name;
};

// Largest unit first; the first whose size the value reaches is taken.
const ByteUnit Units[] = {
    {40, 4, " TB"}, {30, 3, " GB"}, {20, 2, " MB"}, {10, 1, " kB"}, {0, 0, " B"},
};

// 32 bits suffice: a whole number is below 2^24 (2^63 in the largest unit) or 1024, a
// fraction below 10^4; and the head carries no 64-bit division for them.
char* AppendDigits(char* out, uint32_t value, int minimumDigits) {
  char digits[24];
  int n = 0;
  do {
    digits[n++] = static_cast<char>('0' + value % 10);
    value /= 10;
  } while (value != 0 || n < minimumDigits);
  while (n > 0) *out++ = digits[--n];
  return out;
}

}  // namespace

int FormatByteSize(int64_t value, char decimalSeparator, char (&text)[ByteSizeTextCapacity]) {
  // The magnitude of INT64_MIN is representable as unsigned.
  uint64_t magnitude = value < 0 ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
  const ByteUnit* unit = Units;
  while (unit->shift > 0 && magnitude < (uint64_t{1} << unit->shift)) ++unit;

  uint64_t scale = 1;
  for (int i = 0; i < unit->decimals; ++i) scale *= 10;
  uint64_t whole = magnitude >> unit->shift;
  uint64_t fraction = 0;
  if (unit->shift > 0) {
    // remainder < 2^40 and scale <= 10^4, so the product stays below 2^54.
    uint64_t remainder = magnitude & ((uint64_t{1} << unit->shift) - 1);
    fraction = (remainder * scale + (uint64_t{1} << (unit->shift - 1))) >> unit->shift;
    if (fraction == scale) {
      ++whole;
      fraction = 0;
    }
  }

  char* out = text;
  if (value < 0) *out++ = '-';
  out = AppendDigits(out, static_cast<uint32_t>(whole), 1);
  if (unit->decimals > 0) {
    *out++ = decimalSeparator;
    out = AppendDigits(out, static_cast<uint32_t>(fraction), unit->decimals);
  }
  for (const char* s = unit->name; *s; ++s) *out++ = *s;
  *out = 0;
  return static_cast<int>(out - text);
}

#ifdef _WIN32
char LocaleDecimalSeparator() {
  char separator[8];
  if (GetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL, separator, sizeof separator) > 1)
    return separator[0];
  return '.';
}

int FormatByteSize(int64_t value, char (&text)[ByteSizeTextCapacity]) {
  return FormatByteSize(value, LocaleDecimalSeparator(), text);
}
#endif
