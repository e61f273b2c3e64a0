// Splitting of a process command line into arguments the way the extractor and the
// self-delete helper read their own: runs of characters 1..32 separate arguments, double
// quotes group and are dropped, there is no escape character, and an argument that is
// empty once its quotes are dropped (such as "") is skipped.
#pragma once

#include <stddef.h>

// Scans the argument that starts at or after `p`. Gives the position behind it, or null
// when only separators remain. Copies at most `capacity` - 1 characters into `out`
// (always terminated when `capacity` > 0; `out` may be null) and stores the full length
// in `*length` when `length` is not null.
const char* NextArgument(const char* p, char* out, size_t capacity, size_t* length);

// The position just behind the program name, which is read by the same rules.
const char* SkipProgramName(const char* commandLine);
