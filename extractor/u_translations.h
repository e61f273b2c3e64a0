// The extractor's own four texts in 39 languages, each stored in its row's ANSI code page.
#pragma once

#include <stdint.h>

constexpr int LanguageCount = 39;

extern uint8_t LanguageIndex;  // 0 (English) until ChooseLanguage
// A text of each row, one after the other in row order, each ended by its NUL: in the
// head one pointer and one relocation for all rows, not one of each per row.
struct TextList {
  const char* texts;
  const char* operator[](int row) const;
};

extern const TextList TitleText;
extern const TextList WaitText;
extern const TextList ExtractToText;
extern const TextList OverwriteText;

// The row for a system default language (its low 8 bits are compared) and ANSI code
// page; 0 (English) when no row matches both.
uint8_t LanguageFor(uint16_t languageId, uint32_t codePage);

#ifdef _WIN32
// Sets LanguageIndex from GetSystemDefaultLangID and GetACP.
void ChooseLanguage();
#endif
