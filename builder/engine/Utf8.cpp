#include "Utf8.h"

#include <stdint.h>

#include "u_names.h"

namespace {

// The length of the UTF-8 sequence at `at` and its one or two UTF-16 units, as the
// extractor's strict decoder reads names: the shortest run of bytes it takes whole; 0 for
// bytes that start none. A control character, which that decoder refuses in a name, is a
// byte of its own here: the walk refuses such names with a message of their own.
size_t Sequence(const std::string& utf8, size_t at, uint16_t (&units)[2], long& count) {
  if (static_cast<unsigned char>(utf8[at]) < 0x20) {
    units[0] = static_cast<unsigned char>(utf8[at]);
    count = 1;
    return 1;
  }
  for (size_t length = 1; length <= 4 && at + length <= utf8.size(); ++length) {
    count = WideFromUtf8(utf8.data() + at, length, units, 2);
    if (count > 0) return length;
  }
  return 0;
}

}  // namespace

std::u16string Utf16(const std::string& utf8) {
  std::u16string wide;
  for (size_t i = 0; i < utf8.size();) {
    uint16_t units[2];
    long count = 0;
    size_t length = Sequence(utf8, i, units, count);
    if (length == 0) return std::u16string();
    wide.append(units, units + count);
    i += length;
  }
  return wide;
}

std::string EscapedUtf8(const std::string& bytes) {
  static const char digits[] = "0123456789ABCDEF";
  std::string shown;
  for (size_t i = 0; i < bytes.size();) {
    uint16_t units[2];
    long count = 0;
    size_t length = Sequence(bytes, i, units, count);
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
