#include "WindowsNames.h"

#include <stdint.h>

#include <algorithm>
#include <iterator>
#include <vector>

#include "u_names.h"
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

// The extractor's rule, which reads full-width forms as the letters they show; the
// ideographic space counts as a blank too.
bool IsDeviceName(const std::u16string& name) {
  std::vector<uint16_t> units(name.begin(), name.end());
  for (uint16_t& c : units)
    if (c == 0x3000) c = ' ';
  return IsDevicePart(units.data(), units.size());
}

// Each byte as the unit of the same value: the digits and superscripts of the Western code
// page are where the extractor's rule looks for them, and no byte is a full-width form.
bool IsDeviceName(const std::string& archiveName) {
  std::vector<uint16_t> units;
  for (unsigned char c : archiveName) units.push_back(c);
  return IsDevicePart(units.data(), units.size());
}
