#include "Utf8.h"

#include <stdint.h>

namespace {

// The length of the UTF-8 sequence at `at` and its code point; 0 for bytes that start none:
// a stray or missing continuation, an overlong form, a surrogate, a code beyond U+10FFFF.
size_t Sequence(const std::string& utf8, size_t at, uint32_t& code) {
  unsigned char lead = static_cast<unsigned char>(utf8[at]);
  int extra = -1;
  if (lead < 0x80)
    extra = 0;
  else if (lead >= 0xC2 && lead < 0xE0)
    extra = 1;
  else if (lead >= 0xE0 && lead < 0xF0)
    extra = 2;
  else if (lead >= 0xF0 && lead < 0xF5)
    extra = 3;
  if (extra < 0 || at + static_cast<size_t>(extra) >= utf8.size()) return 0;
  code = extra == 0 ? lead : lead & (0x3F >> extra);
  for (int k = 1; k <= extra; ++k) {
    unsigned char next = static_cast<unsigned char>(utf8[at + static_cast<size_t>(k)]);
    if ((next & 0xC0) != 0x80) return 0;
    code = code << 6 | (next & 0x3F);
  }
  static const uint32_t least[] = {0, 0x80, 0x800, 0x10000};
  if (code < least[extra] || code > 0x10FFFF || (code >= 0xD800 && code < 0xE000)) return 0;
  return static_cast<size_t>(extra) + 1;
}

}  // namespace

std::u16string Utf16(const std::string& utf8) {
  std::u16string wide;
  for (size_t i = 0; i < utf8.size();) {
    uint32_t code = 0;
    size_t length = Sequence(utf8, i, code);
    if (length == 0) return std::u16string();
    if (code >= 0x10000) {
      wide += static_cast<char16_t>(0xD800 + ((code - 0x10000) >> 10));
      wide += static_cast<char16_t>(0xDC00 + ((code - 0x10000) & 0x3FF));
    } else {
      wide += static_cast<char16_t>(code);
    }
    i += length;
  }
  return wide;
}

std::string EscapedUtf8(const std::string& bytes) {
  static const char digits[] = "0123456789ABCDEF";
  std::string shown;
  for (size_t i = 0; i < bytes.size();) {
    uint32_t code = 0;
    size_t length = Sequence(bytes, i, code);
    if (length == 0) {
      unsigned char bad = static_cast<unsigned char>(bytes[i++]);
      shown += std::string("\\x") + digits[bad >> 4] + digits[bad & 15];
    } else {
      shown.append(bytes, i, length);
      i += length;
    }
  }
  return shown;
}

std::u16string EscapedSurrogates(const std::u16string& wide) {
  static const char digits[] = "0123456789ABCDEF";
  std::u16string shown;
  for (size_t i = 0; i < wide.size(); ++i) {
    char16_t unit = wide[i];
    bool high = unit >= 0xD800 && unit < 0xDC00, low = unit >= 0xDC00 && unit < 0xE000;
    if (high && i + 1 < wide.size() && wide[i + 1] >= 0xDC00 && wide[i + 1] < 0xE000) {
      shown += unit;
      shown += wide[++i];
    } else if (high || low) {
      shown += u"\\u";
      for (int shift = 12; shift >= 0; shift -= 4) shown += static_cast<char16_t>(digits[(unit >> shift) & 15]);
    } else {
      shown += unit;
    }
  }
  return shown;
}

bool ToUtf8(const std::u16string& wide, std::string& utf8) {
  utf8.clear();
  for (size_t i = 0; i < wide.size(); ++i) {
    uint32_t code = wide[i];
    if (code >= 0xD800 && code < 0xE000) {
      if (code >= 0xDC00 || i + 1 == wide.size() || wide[i + 1] < 0xDC00 || wide[i + 1] >= 0xE000) return false;
      code = 0x10000 + ((code - 0xD800) << 10) + (wide[++i] - 0xDC00);
    }
    int extra = code < 0x80 ? 0 : code < 0x800 ? 1 : code < 0x10000 ? 2 : 3;
    static const unsigned char lead[] = {0, 0xC0, 0xE0, 0xF0};
    utf8 += static_cast<char>(lead[extra] | (code >> (6 * extra)));
    for (int k = extra - 1; k >= 0; --k) utf8 += static_cast<char>(0x80 | ((code >> (6 * k)) & 0x3F));
  }
  return true;
}
