#include "sfxwriter.h"

#include <LzmaEnc.h>
#include <zlib.h>

#include <algorithm>
#include <cstdlib>
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
  if (options.Compressed == CompressedStrong) return MakeStrongArchive(options, entries);
  std::string out(reinterpret_cast<const char*>(&options), sizeof options);
  for (const Entry& entry : entries) out += EncodeEntry(entry, options.Compressed != 0);
  out += std::string(sizeof(EntryHeader), '\0');
  return out;
}

namespace {

ISzAlloc gAllocator = {[](void*, size_t size) { return std::malloc(size); }, [](void*, void* at) { std::free(at); }};

// Fast settings, the same for every stream, so one header's properties fit them all.
std::string Lzma(const std::string& raw, Byte* properties) {
  CLzmaEncProps settings;
  LzmaEncProps_Init(&settings);
  settings.level = 1;
  settings.dictSize = 1 << 16;
  std::string packed(raw.size() + raw.size() / 16 + 1024, '\0');
  SizeT packedSize = packed.size(), propertiesSize = LZMA_PROPS_SIZE;
  if (LzmaEncode(reinterpret_cast<Byte*>(&packed[0]), &packedSize, reinterpret_cast<const Byte*>(raw.data()), raw.size(),
                 &settings, properties, &propertiesSize, 0, nullptr, &gAllocator, &gAllocator) != SZ_OK)
    std::abort();
  return packed.substr(0, packedSize);
}

uint32_t Crc(const std::string& bytes) {
  return static_cast<uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(bytes.data()), static_cast<uInt>(bytes.size())));
}

}  // namespace

std::string Frame(const std::string& raw) {
  Byte properties[LZMA_PROPS_SIZE];
  std::string packed = Lzma(raw, properties), out;
  Put32(out, static_cast<uint32_t>(packed.size()));
  return out + packed;
}

std::string ChunkedFrame(const std::string& raw, size_t coded) {
  coded = std::min(coded, raw.size());
  Byte properties[LZMA_PROPS_SIZE];
  std::string chunks;
  if (coded) {
    std::string packed = Lzma(raw.substr(0, coded), properties);
    Put32(chunks, static_cast<uint32_t>(coded));
    Put32(chunks, static_cast<uint32_t>(packed.size()));
    chunks += packed;
  }
  if (coded < raw.size()) {
    Put32(chunks, static_cast<uint32_t>(raw.size() - coded));
    Put32(chunks, static_cast<uint32_t>(raw.size() - coded));
    chunks.append(raw, coded, std::string::npos);
  }
  std::string out;
  Put32(out, static_cast<uint32_t>(chunks.size()));
  return out + chunks;
}

std::string StrongDirectory(const std::vector<Entry>& entries) {
  std::string out;
  for (const Entry& e : entries) {
    StrongEntry record{e.kind, e.attributes, e.time, e.content.size(), Crc(e.content), e.copyOf,
                       static_cast<uint16_t>(e.name.size())};
    out.append(reinterpret_cast<const char*>(&record), sizeof record);
    out += e.name;
  }
  return out;
}

std::string StrongArchive(const SfxOptions& options, const std::string& directory, uint32_t entryCount,
                          uint64_t contentSize, uint32_t blockSize, const std::string& frames, uint8_t flags) {
  StrongHeader h{{'O', 'V', 'Z', 0}, StrongVersion, flags, {}, 0, blockSize, entryCount, contentSize,
                 static_cast<uint32_t>(directory.size()), 0, Crc(directory)};
  std::string packed = Lzma(directory, h.LzmaProperties);
  h.DirectoryPacked = static_cast<uint32_t>(packed.size());
  SfxOptions strong = options;
  strong.Compressed = CompressedStrong;
  return std::string(reinterpret_cast<const char*>(&strong), sizeof strong) +
         std::string(reinterpret_cast<const char*>(&h), sizeof h) + packed + frames;
}

namespace {

std::string Strong(const SfxOptions& options, const std::vector<Entry>& entries, uint32_t blockSize,
                   const std::string& texts, uint8_t flags) {
  std::string content, frames;
  for (const Entry& e : entries)
    if (!e.copyOf) content += e.content;
  for (size_t at = 0; at < content.size(); at += blockSize) {
    std::string block = content.substr(at, blockSize);
    frames += flags & StrongFlagChunks ? ChunkedFrame(block, block.size() / 2) : Frame(block);
  }
  return StrongArchive(options, texts + StrongDirectory(entries), static_cast<uint32_t>(entries.size()), content.size(),
                       blockSize, frames, flags);
}

}  // namespace

std::string MakeStrongArchive(const SfxOptions& options, const std::vector<Entry>& entries, uint32_t blockSize,
                              uint8_t flags) {
  return Strong(options, entries, blockSize, "", flags);
}

std::string MakeStrongArchive(const SfxOptions& options, const std::vector<Entry>& entries, const std::string& folder,
                              const std::string& parameters) {
  std::string texts;
  for (const std::string* text : {&folder, &parameters}) {
    texts += static_cast<char>(text->size());
    texts += static_cast<char>(text->size() >> 8);
    texts += *text;
  }
  return Strong(options, entries, 1 << 20, texts, StrongFlagTexts);
}

std::vector<Entry> UnicodeTree(const std::string& launch) {
  std::string deep = std::string(100, 'a') + "\\" + std::string(100, 'b') + "\\" + std::string(100, 'c'), long255;
  for (int i = 0; i < 251; ++i) long255 += "n";  // ASCII: Linux file systems take 255 bytes
  // The source is UTF-8, and so are these literals on every compiler the project uses.
  return {Folder("Ünïcödé"), File("Ünïcödé\\café.txt", "latin"), Folder("Ünïcödé\\Кириллица"),
          File("Ünïcödé\\Кириллица\\Ελληνικά.txt", "greek"), Folder("日本語"), File("日本語\\ファイル 😀.txt", "cjk"),
          File("日本語\\▶ 起動 🚀.exe", launch, EntryKindLaunchTarget), Folder(deep.substr(0, 100)),
          Folder(deep.substr(0, 201)), Folder(deep), File(deep + "\\" + long255 + ".txt", "deep")};
}

std::string SyntheticHead() {
  std::string head(1024, '\0');
  auto put = [&](size_t at, uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) head[at + i] = static_cast<char>(value >> (8 * i));
  };
  head[0] = 'M';
  head[1] = 'Z';
  put(0x3C, 0x40, 4);
  head[0x40] = 'P';
  head[0x41] = 'E';
  // A 32-bit image with one section, which the resource editor takes as it takes a head.
  put(0x44, 0x14C, 2);
  put(0x46, 1, 2);
  put(0x54, 0xE0, 2);
  put(0x56, 0x102, 2);
  const size_t optional = 0x58;
  put(optional, 0x10B, 2);
  put(optional + 16, 0x1000, 4);        // entry point
  put(optional + 28, 0x400000, 4);      // image base
  put(optional + 32, 0x1000, 4);        // section alignment
  put(optional + 36, 0x200, 4);         // file alignment
  put(optional + 40, 4, 2);             // system version
  put(optional + 56, 0x2000, 4);        // image size
  put(optional + 60, 0x200, 4);         // header size
  put(optional + 68, 2, 2);             // a windows program
  put(optional + 92, 16, 4);            // data directories
  const size_t section = optional + 0xE0;
  memcpy(&head[section], ".text", 5);
  put(section + 8, 0x200, 4);
  put(section + 12, 0x1000, 4);
  put(section + 16, 0x200, 4);
  put(section + 20, 0x200, 4);
  put(section + 36, 0x60000020, 4);
  return head;
}

}  // namespace sfxtest
