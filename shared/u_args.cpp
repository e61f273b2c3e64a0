#include "u_args.h"

namespace {

inline bool IsSeparator(char c) {
  unsigned char u = static_cast<unsigned char>(c);
  return u >= 1 && u <= 32;
}

// One argument, possibly empty; p points at its first character.
const char* ScanOne(const char* p, char* out, size_t capacity, size_t* length) {
  size_t n = 0;
  bool quoted = false;
  for (; *p && (quoted || !IsSeparator(*p)); ++p) {
    if (*p == '"') {
      quoted = !quoted;
      continue;
    }
    if (out && n + 1 < capacity) out[n] = *p;
    ++n;
  }
  if (out && capacity > 0) out[n + 1 < capacity ? n : capacity - 1] = 0;
  if (length) *length = n;
  return p;
}

}  // namespace

const char* NextArgument(const char* p, char* out, size_t capacity, size_t* length) {
  for (;;) {
    while (IsSeparator(*p)) ++p;
    if (!*p) return nullptr;
    size_t n = 0;
    p = ScanOne(p, out, capacity, &n);
    if (n > 0) {
      if (length) *length = n;
      return p;
    }
  }
}

const char* SkipProgramName(const char* commandLine) {
  const char* p = commandLine;
  while (IsSeparator(*p)) ++p;
  return ScanOne(p, nullptr, 0, nullptr);
}
