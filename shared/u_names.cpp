#include "u_names.h"

#include "u_upcase.h"

long WideFromUtf8(const char* text, size_t length, uint16_t* wide, size_t capacity) {
  const unsigned char* p = reinterpret_cast<const unsigned char*>(text);
  const unsigned char* end = p + length;
  size_t count = 0;
  while (p < end) {
    uint32_t c = *p++;
    // The continuation bytes a start byte announces, and the bits of the least code point
    // that needs them: anything smaller is an overlong form (for none, NUL, refused anyway).
    int more = c >= 0xF0 ? 3 : c >= 0xE0 ? 2 : c >= 0xC0 ? 1 : 0;
    static const uint8_t least[] = {0, 7, 11, 16};
    if ((c & 0xC0) == 0x80 || c > 0xF4 || end - p < more) return -1;
    c &= 0x7F >> more;
    for (int i = 0; i < more; ++i, ++p) {
      if ((*p & 0xC0) != 0x80) return -1;
      c = c << 6 | (*p & 0x3F);
    }
    if (c < 1u << least[more] || c < 0x20 || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return -1;
    if (capacity - count < (c >= 0x10000 ? 2u : 1u)) return -1;
    if (c >= 0x10000) {
      c -= 0x10000;
      wide[count++] = static_cast<uint16_t>(0xD800 | c >> 10);
      c = 0xDC00 | (c & 0x3FF);
    }
    wide[count++] = static_cast<uint16_t>(c);
  }
  return static_cast<long>(count);
}

namespace {

// Full-width forms of ASCII (U+FF01 to U+FF5E) as ASCII, and ASCII letters in upper case:
// a device name is refused however it is spelt.
uint16_t Folded(uint16_t c) {
  if (c >= 0xFF01 && c <= 0xFF5E) c = static_cast<uint16_t>(c - 0xFEE0);
  return c >= 'a' && c <= 'z' ? static_cast<uint16_t>(c - 32) : c;
}

// Built into IsSafePart wherever it is called: the head, which never calls IsDevicePart,
// keeps no copy of its own.
__attribute__((always_inline)) inline bool IsDevice(const uint16_t* part, size_t length) {
  size_t base = 0;
  while (base < length && Folded(part[base]) != '.') ++base;
  while (base > 0 && part[base - 1] == ' ') --base;
  static const char devices[] = "CON\0PRN\0AUX\0NUL\0CONIN$\0CONOUT$\0COM\0LPT";
  const char* device = devices;
  for (int i = 0; i < 8; ++i) {
    size_t n = 0;
    while (device[n] && n < base && Folded(part[n]) == device[n]) ++n;
    bool whole = !device[n];
    while (device[n]) ++n;
    device += n + 1;
    if (!whole || (i < 6 ? n != base : base != 4)) continue;
    if (i < 6) return true;
    // COM and LPT, four units long: the fourth is a digit, also a superscript one.
    uint16_t digit = Folded(part[3]);
    if ((digit >= '0' && digit <= '9') || digit == 0xB9 || digit == 0xB2 || digit == 0xB3) return true;
  }
  return false;
}

// Windows drops a part's trailing dots and blanks ("x." names x, ".." the parent).
bool IsSafePart(const uint16_t* part, size_t length) {
  return length && length <= MaxPartUnits && part[length - 1] != '.' && part[length - 1] != ' ' &&
         !IsDevice(part, length);
}

bool IsSeparator(uint16_t c) { return c == '\\' || c == '/'; }

uint16_t Compared(uint16_t c) { return c == '/' ? '\\' : UpcaseUnit(c); }

}  // namespace

bool IsSafeWideName(const uint16_t* name, size_t length) {
  if (length == 0 || length > MaxNameUnits) return false;
  size_t part = 0;
  for (size_t i = 0; i <= length; ++i) {
    uint16_t c = i < length ? name[i] : '\\';
    if (IsSeparator(c)) {
      if (!IsSafePart(name + part, i - part)) return false;
      part = i + 1;
    } else if (c < 32 || c == ':' || c == '*' || c == '?' || c == '"' || c == '<' || c == '>' || c == '|') {
      return false;
    }
  }
  return true;
}

bool IsSafeWideFolder(const uint16_t* path, size_t length) {
  size_t start = 0;
  // A drive: its letter is the system's to refuse.
  if (length >= 2 && path[1] == ':') start = 2;
  while (start < length && IsSeparator(path[start])) ++start;
  while (length > start && IsSeparator(path[length - 1])) --length;
  return start == length || IsSafeWideName(path + start, length - start);
}

uint32_t NameHash(const uint16_t* name, size_t length) {
  uint32_t hash = 2166136261u;
  for (size_t i = 0; i < length; ++i) hash = (hash ^ Compared(name[i])) * 16777619u;
  return hash;
}

bool IsDevicePart(const uint16_t* part, size_t length) { return IsDevice(part, length); }

bool SameName(const uint16_t* a, size_t aLength, const uint16_t* b, size_t bLength) {
  if (aLength != bLength) return false;
  for (size_t i = 0; i < aLength; ++i)
    if (Compared(a[i]) != Compared(b[i])) return false;
  return true;
}
