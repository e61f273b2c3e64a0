#include "u_params.h"

#include <stdlib.h>
#include <string.h>

#include "u_args.h"

char* BuildParameterString(const char* stored, const char* ownArguments) {
  size_t storedLength = strlen(stored);
  // An argument of n characters takes at most 2n + 3 here and at least n + 1 on the
  // command line.
  size_t capacity = storedLength + 3 * strlen(ownArguments) + 4;
  char* text = static_cast<char*>(malloc(capacity));
  if (!text) return nullptr;
  memcpy(text, stored, storedLength);
  size_t used = storedLength;
  const char* p = ownArguments;
  size_t length = 0;
  for (;;) {
    text[used] = ' ';
    text[used + 1] = '"';
    p = NextArgument(p, text + used + 2, capacity - used - 2, &length);
    if (!p) break;
    used += 2 + length;
    size_t trailing = 0;
    while (trailing < length && text[used - 1 - trailing] == '\\') ++trailing;
    memset(text + used, '\\', trailing);
    used += trailing;
    text[used++] = '"';
  }
  text[used] = 0;
  return text;
}
