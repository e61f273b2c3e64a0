#include "u_translations.h"

#ifdef _WIN32
#include <windows.h>
#endif

// English only until the translated rows arrive.
uint8_t LanguageIndex = 0;

#define ENGLISH_ROW(text) text, text, text, text, text, text, text, text, text, text, text, text, text, \
  text, text, text, text, text, text, text, text, text, text, text, text, text, text, text, text, text, \
  text, text, text, text, text, text, text, text, text

const char* const TitleText[LanguageCount] = {ENGLISH_ROW("Initialization")};
const char* const WaitText[LanguageCount] = {ENGLISH_ROW("Please wait")};
const char* const ExtractToText[LanguageCount] = {ENGLISH_ROW("Extract to")};
const char* const OverwriteText[LanguageCount] = {ENGLISH_ROW("Overwrite file?")};

uint8_t LanguageFor(uint16_t, uint32_t) { return 0; }

#ifdef _WIN32
void ChooseLanguage() { LanguageIndex = LanguageFor(GetSystemDefaultLangID(), GetACP()); }
#endif
