// File times as the archive stores them, one implementation per platform.
#pragma once

#include <stdint.h>

// The file time (100 ns units since 1601, UTC) in local time as a DOS date (high word)
// and time (low word). Local time is taken with the offset from UTC in force now, as
// Windows converts file times. 0 outside the DOS dates (1980 to 2107).
uint32_t DosTimeOf(uint64_t fileTime);

// The decimal separator of the user's locale for byte counts ('.' where none is set).
char LocalDecimalSeparator();
