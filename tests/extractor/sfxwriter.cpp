#include "sfxwriter.h"

#include <zlib.h>

#include <cstring>

namespace sfxtest {

namespace {

void Put32(std::string& out, uint32_t value) {
  for (int i = 0; i < 4; ++i) out += static_cast<char>(value >> (8 * i));
}

}  // namespace

SfxOptions DefaultOptions(const char* instanceId) {
  SfxOptions options;
  std::memset(&options, 0, sizeof options);
  options.Compressed = 1;
  std::strncpy(options.InstanceId, instanceId, sizeof options.InstanceId - 1);
  return options;
}

std::string EncodeEntry(const Entry& entry, bool compressed) {
  EntryHeader header{};
  header.Kind = entry.kind;
  header.NameLength = static_cast<int32_t>(entry.name.size());
  header.Size = static_cast<int32_t>(entry.content.size());
  header.Time = entry.time;
  header.Attributes = entry.attributes;
  std::string out(reinterpret_cast<const char*>(&header), sizeof header);
  out += entry.name;
  for (size_t done = 0; done < entry.content.size();) {
    size_t raw = std::min<size_t>(entry.content.size() - done, ChunkSize);
    if (compressed) {
      uLongf packedSize = compressBound(static_cast<uLong>(raw));
      std::string packed(packedSize, '\0');
      compress2(reinterpret_cast<Bytef*>(&packed[0]), &packedSize,
                reinterpret_cast<const Bytef*>(entry.content.data() + done), static_cast<uLong>(raw), 9);
      Put32(out, static_cast<uint32_t>(raw));
      Put32(out, static_cast<uint32_t>(packedSize));
      out.append(packed, 0, packedSize);
    } else {
      out.append(entry.content, done, raw);
    }
    done += raw;
  }
  Put32(out, ByteSum(entry.content.data(), entry.content.size(), ByteSum(entry.name.data(), entry.name.size())));
  return out;
}

std::string MakeArchive(const SfxOptions& options, const std::vector<Entry>& entries) {
  std::string out(reinterpret_cast<const char*>(&options), sizeof options);
  for (const Entry& entry : entries) out += EncodeEntry(entry, options.Compressed != 0);
  out += std::string(sizeof(EntryHeader), '\0');
  return out;
}

std::string SyntheticHead() {
  std::string head(1024, '\0');
  head[0] = 'M';
  head[1] = 'Z';
  head[0x3C] = 0x40;
  head[0x40] = 'P';
  head[0x41] = 'E';
  head[0x46] = 1;  // one section, no optional header
  const size_t section = 0x40 + 24;
  head[section + 17] = 0x02;  // SizeOfRawData 0x200
  head[section + 21] = 0x02;  // PointerToRawData 0x200
  return head;
}

}  // namespace sfxtest
