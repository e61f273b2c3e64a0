#include "archiverun.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace sfxtest {

namespace {

struct MemoryFile {
  const std::string* bytes;
  uint64_t* reads;
};

bool ReadMemory(void* context, uint64_t position, void* buffer, uint32_t length) {
  MemoryFile* file = static_cast<MemoryFile*>(context);
  ++*file->reads;
  if (position > file->bytes->size() || length > file->bytes->size() - position) return false;
  std::memcpy(buffer, file->bytes->data() + position, length);
  return true;
}

void Broken(const char* what) {
  std::fprintf(stderr, "archive reader broke its promise: %s\n", what);
  std::abort();
}

bool Begin(void* context, const ArchiveEntry& header, const char* name) {
  RunResult* result = static_cast<RunResult*>(context);
  if (!IsSafeEntryName(name, std::strlen(name))) Broken("unsafe name reached the sink");
  if (std::strlen(name) != static_cast<size_t>(header.NameLength)) Broken("name length");
  if ((header.Attributes & AttributeDirectory) && header.Size != 0) Broken("folder with content");
  Restored entry;
  entry.header = header;
  entry.name = name;
  result->entries.push_back(entry);
  return true;
}

void Write(void* context, const void* data, uint32_t length) {
  RunResult* result = static_cast<RunResult*>(context);
  if (result->entries.empty()) Broken("content before an entry");
  Restored& entry = result->entries.back();
  entry.content.append(static_cast<const char*>(data), length);
  if (entry.content.size() > static_cast<uint64_t>(entry.header.Size)) Broken("more content than the size");
}

// A compressed entry steps once per chunk, by its raw length.
void Step(void* context, uint32_t count) {
  if (count == 0) Broken("empty content step");
  RunResult* result = static_cast<RunResult*>(context);
  uint8_t layout = result->options.Compressed;
  if (layout && layout != CompressedStrong) result->entries.back().chunks.push_back({count, 0});
}

void End(void* context, const ArchiveEntry& header) {
  RunResult* result = static_cast<RunResult*>(context);
  if (result->entries.back().content.size() != static_cast<uint64_t>(header.Size)) Broken("entry ended short");
}

// A damaged entry is dropped from the record, as if it had never been begun.
bool PassDamage(void* context, const ArchiveEntry&, const char*, uint32_t) {
  static_cast<RunResult*>(context)->entries.pop_back();
  return true;
}

uint32_t U32At(const std::string& bytes, uint64_t position) {
  uint32_t value = 0;
  if (position + 4 <= bytes.size()) std::memcpy(&value, bytes.data() + position, 4);
  return value;
}

// Where what the reader restored lies: it reports each chunk's raw length, so only the
// compressed lengths are taken from the frames, and every frame it already checked.
void Place(const std::string& bytes, RunResult& result) {
  uint64_t at = result.archiveOffset + sizeof(SfxOptions);
  for (Restored& entry : result.entries) {
    at += sizeof(EntryHeader) + static_cast<uint64_t>(entry.header.NameLength);
    if (!result.options.Compressed) at += static_cast<uint64_t>(entry.header.Size);
    for (Chunk& chunk : entry.chunks) {
      if (U32At(bytes, at) != chunk.rawLength) Broken("a frame that differs from the step it gave");
      chunk.compressedLength = U32At(bytes, at + 4);
      at += 8 + static_cast<uint64_t>(chunk.compressedLength);
    }
    at += 4;
  }
  result.end = at + sizeof(EntryHeader);
}

}  // namespace

bool ReadOptionsRecord(const std::string& bytes, SfxOptions& options, uint64_t* offset) {
  uint64_t reads = 0, at = 0;
  MemoryFile memory{&bytes, &reads};
  ArchiveFile file{ReadMemory, &memory, bytes.size()};
  if (LocateArchive(file, at) != ArchiveOk) return false;
  std::memcpy(&options, bytes.data() + at, sizeof options);
  if (offset) *offset = at;
  return true;
}

RunResult RunArchive(const std::string& bytes) {
  RunResult result;
  MemoryFile memory{&bytes, &result.reads};
  ArchiveFile file{ReadMemory, &memory, bytes.size()};
  uint64_t offset = 0;
  result.code = LocateArchive(file, offset);
  if (result.code != ArchiveOk) return result;
  SfxOptions& options = result.options;
  std::memcpy(&options, bytes.data() + offset, sizeof options);
  result.archiveOffset = offset;
  result.code = ScanEntries(file, offset, options, result.totalSize, nullptr);
  if (result.code != ArchiveOk) return result;
  result.scanned = true;
  RestoreSink sink{Begin, Write, Step, End, &result, nullptr};
  result.code = RestoreEntries(file, offset, options, sink);

  // Once more past every damaged entry, as orvex -t reads: the same promises hold, and the
  // pass ends with the code the first pass ended with.
  RunResult again;
  RestoreSink onward{Begin, Write, Step, End, &again, PassDamage};
  uint32_t code = RestoreEntries(file, offset, options, onward);
  if (code != result.code) Broken("a pass past damaged entries ends differently");
  if (result.code == ArchiveOk && options.Compressed != CompressedStrong) Place(bytes, result);
  return result;
}

}  // namespace sfxtest
