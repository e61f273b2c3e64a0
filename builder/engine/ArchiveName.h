// File names in the archive's code page, one implementation per platform.
#pragma once

#include <stdint.h>

#include <string>

// The name in the code page (0: the system's ANSI code page), only when it stands for
// exactly the same characters: no default character and no lookalike (a fullwidth
// backslash must not become a real one).
bool ToArchiveName(const std::u16string& name, uint32_t codePage, std::string& archiveName);
// The text in the code page (0: the system's ANSI code page) in UTF-16, as the system reads
// it; false for bytes the code page leaves undefined.
bool FromArchiveName(const std::string& archiveName, uint32_t codePage, std::u16string& name);
