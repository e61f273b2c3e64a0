// zlib's inflate refers to crc32 for gzip streams only, which the extractor never
// accepts (chunks are zlib streams). This table-free CRC-32 keeps zlib's 7 KB of CRC
// tables out of the head while still giving correct results if it is ever called.
#include <zlib.h>

extern "C" uLong crc32(uLong crc, const Bytef* buffer, uInt length) {
  if (!buffer) return 0;
  uLong c = ~crc & 0xFFFFFFFFul;
  while (length--) {
    c ^= *buffer++;
    for (int bit = 0; bit < 8; ++bit) c = (c >> 1) ^ (0xEDB88320ul & (0ul - (c & 1)));
  }
  return ~c & 0xFFFFFFFFul;
}
