// The head's CRC-32, for zlib (whose inflate refers to it for gzip streams only) and for
// the strong layout's checks: one 1 KB table made at the first call, in place of zlib's
// 8 KB of tables stored in the file.
#include <stdint.h>
#include <zlib.h>

extern "C" uLong crc32(uLong crc, const Bytef* buffer, uInt length) {
  static uint32_t table[256];
  if (!table[1])
    for (uint32_t n = 0; n < 256; ++n) {
      uint32_t c = n;
      for (int bit = 0; bit < 8; ++bit) c = (c >> 1) ^ (0xEDB88320u & (0u - (c & 1)));
      table[n] = c;
    }
  if (!buffer) return 0;
  uint32_t c = ~static_cast<uint32_t>(crc);
  while (length--) c = table[(c ^ *buffer++) & 0xFF] ^ (c >> 8);
  return ~c;
}

// zlib's Adler-32, for the chunks' trailers: a plain loop in place of zlib's unrolled
// 1.9 KB. 5552 is the most bytes after which the sums still fit in 32 bits.
extern "C" uLong adler32(uLong adler, const Bytef* buffer, uInt length) {
  if (!buffer) return 1;
  uint32_t a = adler & 0xFFFF, b = (adler >> 16) & 0xFFFF;
  while (length) {
    uInt n = length < 5552 ? length : 5552;
    length -= n;
    while (n--) {
      a += *buffer++;
      b += a;
    }
    a %= 65521;
    b %= 65521;
  }
  return b << 16 | a;
}
