#include "u_shared.h"

uint32_t ByteSum(const void* data, size_t length, uint32_t sum) {
  const uint8_t* p = static_cast<const uint8_t*>(data);
  for (size_t i = 0; i < length; ++i) sum += p[i];
  return sum;
}

namespace {

bool ReadU16(ReadAtFunction read, void* context, uint32_t position, uint16_t& value) {
  uint8_t b[2];
  if (!read(context, position, b, 2)) return false;
  value = static_cast<uint16_t>(b[0] | b[1] << 8);
  return true;
}

bool ReadU32(ReadAtFunction read, void* context, uint32_t position, uint32_t& value) {
  uint8_t b[4];
  if (!read(context, position, b, 4)) return false;
  value = b[0] | b[1] << 8 | b[2] << 16 | static_cast<uint32_t>(b[3]) << 24;
  return true;
}

struct MemoryImage {
  const uint8_t* data;
  size_t length;
};

bool ReadMemory(void* context, uint32_t position, void* buffer, uint32_t length) {
  const MemoryImage* image = static_cast<const MemoryImage*>(context);
  if (position > image->length || length > image->length - position) return false;
  const uint8_t* from = image->data + position;
  uint8_t* to = static_cast<uint8_t*>(buffer);
  for (uint32_t i = 0; i < length; ++i) to[i] = from[i];
  return true;
}

}  // namespace

uint32_t FindArchiveOffset(ReadAtFunction read, void* context) {
  uint8_t mz[2];
  uint32_t pe = 0;
  if (!read(context, 0, mz, 2) || mz[0] != 'M' || mz[1] != 'Z') return 0;
  if (!ReadU32(read, context, 0x3C, pe)) return 0;
  uint8_t signature[4];
  if (!read(context, pe, signature, 4) || signature[0] != 'P' || signature[1] != 'E' ||
      signature[2] != 0 || signature[3] != 0)
    return 0;
  uint16_t sectionCount = 0, optionalHeaderSize = 0;
  if (!ReadU16(read, context, pe + 6, sectionCount) ||
      !ReadU16(read, context, pe + 20, optionalHeaderSize))
    return 0;
  // 64-bit arithmetic: a damaged header must not wrap around to a small offset.
  uint64_t section = static_cast<uint64_t>(pe) + 24 + optionalHeaderSize;
  uint64_t end = 0;
  for (uint16_t i = 0; i < sectionCount; ++i, section += 40) {
    if (section + 24 > 0xFFFFFFFFu) return 0;
    uint32_t rawSize = 0, rawPointer = 0;
    if (!ReadU32(read, context, static_cast<uint32_t>(section + 16), rawSize) ||
        !ReadU32(read, context, static_cast<uint32_t>(section + 20), rawPointer))
      return 0;
    if (rawSize > 0 && static_cast<uint64_t>(rawPointer) + rawSize > end)
      end = static_cast<uint64_t>(rawPointer) + rawSize;
  }
  return end > 0x7FFFFFFFu ? 0 : static_cast<uint32_t>(end);
}

uint32_t FindArchiveOffset(const void* image, size_t length) {
  MemoryImage memory{static_cast<const uint8_t*>(image), length};
  return FindArchiveOffset(ReadMemory, &memory);
}
