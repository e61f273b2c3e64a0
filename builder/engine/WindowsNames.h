// What Windows makes of a name the source's file system allows: letters it takes for the
// same. Both builders refuse names Windows takes for one while walking, so that no SFX
// file holds what extraction would merge.
#pragma once

#include <string>

// The letter as NTFS upper-cases it to compare names: one UTF-16 code unit to another.
char16_t NtfsUpperCase(char16_t c);
