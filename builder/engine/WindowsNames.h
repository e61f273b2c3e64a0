// What Windows makes of a name the source's file system allows: letters it takes for the
// same, and names it opens as a device. Both builders refuse such names while walking,
// before anything is opened, so that no SFX file holds what its reader refuses.
#pragma once

#include <string>

// The letter as NTFS upper-cases it to compare names: one UTF-16 code unit to another.
char16_t NtfsUpperCase(char16_t c);

// CON, PRN, AUX, NUL, CONIN$, CONOUT$, COM0-9 and LPT0-9 (also with the superscript
// digits 1 to 3), in any case, with any extension and blanks before it: "nul.txt",
// "Com1 .log", "aux.tar.gz". Of the UTF-16 name, or of the name in the archive's code page
// as the extractor's reader tests it.
bool IsDeviceName(const std::u16string& name);
bool IsDeviceName(const std::string& archiveName);
