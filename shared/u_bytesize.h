// Byte counts as text in binary units, for the progress texts of both programs.
#pragma once

#include <stdint.h>

constexpr int ByteSizeTextCapacity = 40;

// Writes `value` as "1023 B", "1.5 kB", "1.00 MB", "1.500 GB" or "1.0000 TB" (the unit
// chosen by the absolute value, rounded half away from zero) into `text`, with
// `decimalSeparator` between the whole and the fractional digits. Gives the text length.
int FormatByteSize(int64_t value, char decimalSeparator, char (&text)[ByteSizeTextCapacity]);

#ifdef _WIN32
// The first character of the user's locale decimal separator, '.' when it cannot be read.
char LocaleDecimalSeparator();

// FormatByteSize with the user's locale decimal separator.
int FormatByteSize(int64_t value, char (&text)[ByteSizeTextCapacity]);
#endif
