#include "WindowsNames.h"

#include <stdint.h>

#include <algorithm>
#include <iterator>
#include <type_traits>

#include "u_upcase.h"

namespace {

// The letters whose simple upper case lowers to another letter (micro sign to MU, which
// lowers to mu; final sigma; dotless i; the title-case digraphs; the Greek symbol forms).
// The walk leaves them as they are when it orders names, as it always has, so the same
// tree keeps its order; names are refused as one by the whole mapping. Printed by
// scripts/upper-case-table.pl with the table of UpcaseUnit.
const char16_t OneWayLetters[] = {
    0x00B5, 0x0131, 0x017F, 0x01C5, 0x01C8, 0x01CB, 0x01F2, 0x0345, 0x03C2, 0x03D0, 0x03D1, 0x03D5, 0x03D6, 0x03F0,
    0x03F1, 0x03F5, 0x1C80, 0x1C81, 0x1C82, 0x1C83, 0x1C84, 0x1C85, 0x1C86, 0x1C87, 0x1C88, 0x1E9B, 0x1FBE,
};

// The characters the reader takes for the digits of COM1 and LPT1: digits and the
// superscripts 1, 2 and 3 (in UTF-16, and as the bytes of the Western code page).
bool IsDeviceDigit(unsigned c) { return (c >= '0' && c <= '9') || c == 0xB9 || c == 0xB2 || c == 0xB3; }

// A full-width form (U+FF01 to U+FF5E, and the ideographic space) as the ASCII character it
// stands for; anything else as it is.
char16_t Narrowed(char16_t c) {
  if (c >= 0xFF01 && c <= 0xFF5E) return static_cast<char16_t>(c - 0xFEE0);
  return c == 0x3000 ? u' ' : c;
}

template <typename Unit>
bool IsDeviceNameOf(const std::basic_string<Unit>& name) {
  // Windows looks at the part before the first dot, without the blanks that end it.
  size_t base = std::min(name.find(Unit('.')), name.size());
  while (base > 0 && name[base - 1] == Unit(' ')) --base;
  auto sameLetters = [&](const char* word, size_t length) {
    for (size_t i = 0; i < length; ++i) {
      unsigned c = static_cast<std::make_unsigned_t<Unit>>(name[i]);
      if ((c >= 'a' && c <= 'z' ? c - 32 : c) != static_cast<unsigned>(word[i])) return false;
    }
    return true;
  };
  for (const char* device : {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"}) {
    size_t length = std::char_traits<char>::length(device);
    if (base == length && sameLetters(device, length)) return true;
  }
  return base == 4 && (sameLetters("COM", 3) || sameLetters("LPT", 3)) &&
         IsDeviceDigit(static_cast<std::make_unsigned_t<Unit>>(name[3]));
}

}  // namespace

char16_t OrderUpperCase(char16_t c) {
  if (std::binary_search(std::begin(OneWayLetters), std::end(OneWayLetters), c)) return c;
  return static_cast<char16_t>(UpcaseUnit(c));
}

std::u16string ComparedName(const std::u16string& name) {
  std::u16string upper(name);
  for (char16_t& c : upper) c = static_cast<char16_t>(UpcaseUnit(c));
  return upper;
}

// Full-width forms count as the letters they show: a name that reads as a device is
// refused whichever width it is written in.
bool IsDeviceName(const std::u16string& name) {
  std::u16string narrowed(name);
  for (char16_t& c : narrowed) c = Narrowed(c);
  return IsDeviceNameOf(narrowed);
}

bool IsDeviceName(const std::string& archiveName) { return IsDeviceNameOf(archiveName); }
