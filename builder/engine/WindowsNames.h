// What Windows makes of a name the source's file system allows: letters it takes for the
// same, and names it opens as a device. Both builders refuse such names while walking,
// before anything is opened, so that no SFX file holds what its reader refuses.
#pragma once

#include <string>

// The letter as the walk upper-cases it to order a folder: UpcaseUnit, but for the letters
// whose upper case lowers to another letter, which keep their place.
char16_t OrderUpperCase(char16_t c);
// The name upper-cased unit by unit by UpcaseUnit: two names Windows takes for one have the
// same. Composed and decomposed spellings (NFC and NFD) stay apart, as they do on Windows,
// which keeps both as two files.
std::u16string ComparedName(const std::u16string& name);

// CON, PRN, AUX, NUL, CONIN$, CONOUT$, COM0-9 and LPT0-9 (also with the superscript
// digits 1 to 3), in any case, with any extension and blanks before it: "nul.txt",
// "Com1 .log", "aux.tar.gz"; in UTF-16 also in full-width letters and digits. Of the
// UTF-16 name, or of the name in the archive's code page as the extractor's reader tests it.
bool IsDeviceName(const std::u16string& name);
bool IsDeviceName(const std::string& archiveName);
