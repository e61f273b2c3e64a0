// Names as Windows sees them: the strong layout's UTF-8 names, decoded strictly and checked
// as the UTF-16 units that the file system creates and compares.
#pragma once

#include <stddef.h>
#include <stdint.h>

// The most UTF-16 units in one part of a name (what NTFS takes), and in a whole name below
// the extraction folder: a \\?\ path holds 32,767, and the folder needs room too.
constexpr uint32_t MaxPartUnits = 255;
constexpr uint32_t MaxNameUnits = 32000;

// Decodes `length` bytes of UTF-8 into at most `capacity` UTF-16 units and gives their
// count, or -1 for text that is not strictly UTF-8 or holds NUL or a control character
// (below U+0020): an overlong form, an encoded surrogate, a code point past U+10FFFF, a
// cut or stray continuation byte. Strict, so one name has one spelling in bytes.
long WideFromUtf8(const char* text, size_t length, uint16_t* wide, size_t capacity);

// CON, PRN, AUX, NUL, CONIN$, CONOUT$, COM0-9 and LPT0-9 (also with a superscript 1 to
// 3), in any case, in full-width forms too, with any extension and blanks before it: the
// names Windows opens as a device in every folder.
bool IsDevicePart(const uint16_t* part, size_t length);

// IsSafeEntryName for UTF-16: not empty, relative, no colon, wildcard, quote, angle
// bracket, bar or control character, no empty part, none longer than MaxPartUnits or
// ending in a dot or blank, no device name, also spelt in full-width forms or with a
// superscript digit ("ＣＯＮ", "COM¹"), and at most MaxNameUnits in all.
bool IsSafeWideName(const uint16_t* name, size_t length);

// The custom folder, which is absolute: an optional drive ("C:") or leading backslashes,
// then parts that IsSafeWideName would accept, a trailing backslash allowed.
bool IsSafeWideFolder(const uint16_t* path, size_t length);

// For names in one archive that Windows would take for the same name: every unit through
// UpcaseUnit, '/' as '\'. Names that differ otherwise, by Unicode normalisation as well,
// are different names to the file system.
uint32_t NameHash(const uint16_t* name, size_t length);
bool SameName(const uint16_t* a, size_t aLength, const uint16_t* b, size_t bLength);
