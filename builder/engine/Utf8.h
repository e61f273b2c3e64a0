// Text as Linux spells it, in the UTF-16 the archive names are made from, and back.
#pragma once

#include <string>

// UTF-8 to UTF-16; empty for bytes that are not UTF-8, which no code page converts.
std::u16string Utf16(const std::string& utf8);
// UTF-16 to UTF-8; false for a lone surrogate, which no UTF-8 text carries.
bool ToUtf8(const std::u16string& wide, std::string& utf8);

// For messages that name what no Unicode text holds: every byte that starts no UTF-8
// sequence as \xFF, every lone surrogate as \uD800; the rest as it is.
std::string EscapedUtf8(const std::string& bytes);
std::u16string EscapedSurrogates(const std::u16string& wide);
