// Writes SFX archives in memory for the extractor's tests: the well-formed layout the
// builder writes, plus the damaged ones only a test can make.
#pragma once

#include <stdint.h>

#include <string>
#include <vector>

#include "u_shared.h"
#include "u_strong.h"

namespace sfxtest {

struct Entry {
  std::string name;
  std::string content;
  uint8_t kind = EntryKindOrdinary;
  uint32_t attributes = 0x20;
  uint32_t time = 0x5A8C6C00;  // 2025-04-12 13:32:00
  uint32_t copyOf = 0;  // strong layout: 1 + the index of the entry whose content this one repeats
};

inline Entry Folder(const std::string& name) {
  Entry e;
  e.name = name;
  e.attributes = AttributeDirectory;
  return e;
}

inline Entry File(const std::string& name, const std::string& content, uint8_t kind = EntryKindOrdinary) {
  Entry e;
  e.name = name;
  e.content = content;
  e.kind = kind;
  return e;
}

// Options with the builder's defaults: extract only, temporary folder, compressed.
SfxOptions DefaultOptions(const char* instanceId = "0012AB34CD");

// One entry: header, name, chunks of at most ChunkSize (zlib streams when compressed),
// checksum.
std::string EncodeEntry(const Entry& entry, bool compressed);
// The options record, the entries and the terminator (MakeStrongArchive's layout when
// Compressed is CompressedStrong).
std::string MakeArchive(const SfxOptions& options, const std::vector<Entry>& entries);

// The strong layout behind the options record: the directory of `entries`, then the
// content of those that are no copies cut into blocks of `blockSize`; with StrongFlagChunks
// in `flags`, each block's frame is ChunkedFrame(block, half of it).
std::string MakeStrongArchive(const SfxOptions& options, const std::vector<Entry>& entries, uint32_t blockSize = 1 << 20,
                              uint8_t flags = 0);
// With StrongFlagTexts: the custom folder and the parameters at the directory's start.
std::string MakeStrongArchive(const SfxOptions& options, const std::vector<Entry>& entries, const std::string& folder,
                              const std::string& parameters);
// Its parts, for archives the builders never write: the raw directory records, a block
// frame (an LZMA stream without end mark), and an archive around any directory and
// frames, its header filled from the arguments (Flags from `flags`).
std::string StrongDirectory(const std::vector<Entry>& entries);
std::string Frame(const std::string& raw);
// A frame of chunks (StrongFlagChunks): the first `coded` bytes as one LZMA chunk, the
// rest as they are, so both kinds of chunk appear in a valid block.
std::string ChunkedFrame(const std::string& raw, size_t coded);
std::string StrongArchive(const SfxOptions& options, const std::string& directory, uint32_t entryCount,
                          uint64_t contentSize, uint32_t blockSize, const std::string& frames, uint8_t flags = 0);
// Latin, Cyrillic, Greek, CJK and emoji names, a folder 302 characters deep holding a name
// of 255 units, and `launch` as the launch target, so named.
std::vector<Entry> UnicodeTree(const std::string& launch);
// A minimal 32-bit executable head whose one section ends at its end (1024 bytes).
std::string SyntheticHead();
// An elevation manifest for it, with the level the builders replace.
constexpr char SyntheticUac[] = "<requestedExecutionLevel level=\"requireAdministrator\"/>";

}  // namespace sfxtest
