#include <stdlib.h>
#include <string.h>
#include <zlib.h>

#include "archivecore.h"

void StartCursor(Cursor& c, const ArchiveFile& file, uint64_t position) {
  c.file = &file;
  c.position = position;
  c.windowStart = 0;
  c.windowLength = 0;
}

bool Read(Cursor& c, void* out, uint32_t length) {
  uint64_t size = c.file->size;
  if (c.position > size || length > size - c.position) return false;
  if (length >= WindowSize) {
    if (!c.file->read(c.file->context, c.position, out, length)) return false;
  } else {
    if (c.position < c.windowStart || c.position + length > c.windowStart + c.windowLength) {
      uint64_t rest = size - c.position;
      c.windowStart = c.position;
      c.windowLength = rest < WindowSize ? static_cast<uint32_t>(rest) : WindowSize;
      if (!c.file->read(c.file->context, c.windowStart, c.window, c.windowLength)) {
        c.windowLength = 0;
        return false;
      }
    }
    memcpy(out, c.window + (c.position - c.windowStart), length);
  }
  c.position += length;
  return true;
}

bool ReadU32(Cursor& c, uint32_t& value) {
  uint8_t b[4];
  if (!Read(c, b, 4)) return false;
  value = b[0] | b[1] << 8 | b[2] << 16 | static_cast<uint32_t>(b[3]) << 24;
  return true;
}

namespace {

const char* NextNameChar(const char* p) { return gNextNameChar ? gNextNameChar(p) : p + 1; }

char Upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

bool SameLetters(const char* a, size_t length, const char* word) {
  size_t i = 0;
  for (; i < length && word[i]; ++i)
    if (Upper(a[i]) != word[i]) return false;
  return i == length && !word[i];
}

// Windows opens a device for these names with any extension and trailing blanks
// ("nul.txt", "COM1 .log"), in every folder.
bool IsDeviceName(const char* part, size_t length) {
  size_t base = 0;
  while (base < length && part[base] != '.') ++base;
  while (base > 0 && part[base - 1] == ' ') --base;
  static const char* const devices[] = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"};
  for (const char* device : devices)
    if (SameLetters(part, base, device)) return true;
  if (base == 4 && (SameLetters(part, 3, "COM") || SameLetters(part, 3, "LPT"))) {
    unsigned char n = static_cast<unsigned char>(part[3]);
    // Digits and the superscript digits of the Western code page.
    return (n >= '0' && n <= '9') || n == 0xB9 || n == 0xB2 || n == 0xB3;
  }
  return false;
}

// Windows drops a part's trailing dots and blanks ("x." names x, ". ." the folder
// itself), so such a part would not land under the name the archive gives. Neither byte
// is a trail byte in any double-byte code page.
bool IsSafePart(const char* part, size_t length) {
  return length != 0 && part[length - 1] != '.' && part[length - 1] != ' ' && !IsDeviceName(part, length);
}

// Reads header and name and checks both. Gives ArchiveOk, or the code that ends the run.
uint32_t ReadEntryStart(Cursor& c, EntryHeader& h, ArchiveEntry& e, char (&name)[MaxEntryNameLength + 1]) {
  if (!Read(c, &h, sizeof h)) return ArchiveShort;
  if (IsTerminator(h)) return ArchiveOk;
  if (h.NameLength <= 0 || h.NameLength > MaxEntryNameLength || h.Size < 0) return ArchiveInvalid;
  e = ArchiveEntry{h.Kind, h.Attributes, h.Time, static_cast<uint64_t>(h.Size), 0, 0, static_cast<uint16_t>(h.NameLength)};
  if (!Read(c, name, e.NameLength)) return ArchiveShort;
  name[e.NameLength] = 0;
  return IsValidEntry(e, name) ? ArchiveOk : ArchiveInvalid;
}

// One chunk frame; the builder cuts content into full chunks with a shorter last one.
uint32_t ReadFrame(Cursor& c, uint32_t remaining, uint32_t& raw, uint32_t& packed) {
  if (!ReadU32(c, raw) || !ReadU32(c, packed)) return ArchiveShort;
  if (packed > ChunkBufferSize) return ArchiveTooLarge;
  if (raw == 0 || raw > ChunkSize || raw > remaining) return ArchiveInvalid;
  return ArchiveOk;
}

// Allocated once, at the first entry with content: zero-filled static blocks would be
// stored in the tiny program's file.
uint8_t* gChunkBuffer = nullptr;
uint8_t* gInflated = nullptr;
z_stream gInflater;
bool gInflaterReady = false;

// One chunk is one complete zlib stream of exactly `raw` bytes; anything else fails.
bool Inflate(uint32_t packed, uint32_t raw) {
  if (!gInflaterReady) {
    memset(&gInflater, 0, sizeof gInflater);
    if (inflateInit(&gInflater) != Z_OK) return false;
    gInflaterReady = true;
  } else if (inflateReset(&gInflater) != Z_OK) {
    return false;
  }
  gInflater.next_in = gChunkBuffer;
  gInflater.avail_in = packed;
  gInflater.next_out = gInflated;
  gInflater.avail_out = raw;
  return inflate(&gInflater, Z_FINISH) == Z_STREAM_END && gInflater.total_out == raw;
}

}  // namespace

NextCharFunction gNextNameChar;

bool IsValidEntry(const ArchiveEntry& e, const char* name) {
  return IsSafeStoredName(name, e.NameLength) && IsValidKind(e, name);
}

bool IsValidKind(const ArchiveEntry& e, const char* name) {
  if (e.Kind > 2) return false;
  if (e.Attributes & AttributeDirectory) return e.Kind == EntryKindOrdinary && e.Size == 0 && !e.CopyOf;
  // The helper is written beside the user's other temporary files, so nothing but its
  // own fixed name may be written there.
  return e.Kind != EntryKindSelfDelete || SameLetters(name, e.NameLength, "XSFXDEL~.EXE");
}

uint32_t FinishEntry(const RestoreSink& sink, const ArchiveEntry& e, const char* name, uint32_t damage,
                     uint32_t& firstDamage) {
  if (damage == ArchiveOk) {
    sink.EndEntry(sink.context, e);
  } else if (sink.Damaged && sink.Damaged(sink.context, e, name, damage)) {
    if (firstDamage == ArchiveOk) firstDamage = damage;
  } else {
    return damage;
  }
  return ArchiveOk;
}

bool FolderOrder::Accept(const ArchiveEntry& e, const char* name) {
  size_t parent = 0;
  for (const char* p = name; p < name + e.NameLength; p = next ? next(p) : p + 1)
    if (*p == '\\' || *p == '/') parent = static_cast<size_t>(p - name);
  if (parent > length || memcmp(name, folder, parent) != 0 ||
      (parent && parent < length && folder[parent] != '\\' && folder[parent] != '/'))
    return false;
  if (e.Attributes & AttributeDirectory) {
    memcpy(folder, name, e.NameLength);
    length = e.NameLength;
  }
  return true;
}

bool IsSafeEntryName(const char* name, size_t length) {
  if (length == 0 || name[0] == '\\' || name[0] == '/') return false;
  // Control characters and NUL never name a file, a colon is a drive or a stream, and
  // Windows creates no name with a wildcard, quote or angle bracket. None of them is ever
  // a trail byte, so they are looked for byte by byte; '|' can be one and is looked for
  // character by character below.
  for (size_t i = 0; i < length; ++i) {
    unsigned char c = static_cast<unsigned char>(name[i]);
    if (c < 32 || c == ':' || c == '*' || c == '?' || c == '"' || c == '<' || c == '>') return false;
  }
  const char* end = name + length;
  const char* part = name;
  for (const char* p = name;;) {
    if (p >= end || *p == '\\' || *p == '/') {
      if (!IsSafePart(part, static_cast<size_t>(p - part))) return false;
      if (p >= end) return true;
      part = ++p;
      continue;
    }
    if (*p == '|') return false;
    p = NextNameChar(p);
    if (p > end) p = end;  // a lead byte without its trail byte ends the name
  }
}

namespace {

// For the head walk and the default layout's passes, which never overlap.
Cursor gCursor;

bool ReadAtForHead(void* context, uint32_t position, void* buffer, uint32_t length) {
  Cursor& c = *static_cast<Cursor*>(context);
  c.position = position;
  return Read(c, buffer, length);
}

}  // namespace

uint32_t LocateArchive(const ArchiveFile& file, uint64_t& archiveOffset) {
  StartCursor(gCursor, file, 0);
  archiveOffset = FindArchiveOffset(ReadAtForHead, &gCursor);
  if (archiveOffset == 0 || file.size <= archiveOffset + sizeof(SfxOptions)) return ArchiveShort;
  return ArchiveOk;
}

uint32_t ScanEntries(const ArchiveFile& file, uint64_t archiveOffset, const SfxOptions& options,
                     int64_t& totalSize, ScanVisitFunction visit, void* context) {
  totalSize = 0;
  if (options.Compressed == CompressedStrong) return ScanStrong(file, archiveOffset, totalSize, visit, context);
  Cursor& c = gCursor;
  StartCursor(c, file, archiveOffset + sizeof(SfxOptions));
  bool terminated = false;
  // Static, as it is large: the passes never overlap.
  static FolderOrder order;
  order.next = gNextNameChar;
  order.length = 0;
  while (c.position < file.size) {
    EntryHeader h;
    ArchiveEntry e;
    char name[MaxEntryNameLength + 1];
    uint32_t code = ReadEntryStart(c, h, e, name);
    if (code != ArchiveOk) return code;
    if (IsTerminator(h)) {
      terminated = true;
      break;
    }
    if (!order.Accept(e, name)) return ArchiveInvalid;
    if (options.Compressed) {
      // Only the frames are read; the compressed bytes are skipped.
      uint32_t raw = 0;
      while (c.position < file.size && raw < e.Size) {
        uint32_t chunkRaw = 0, packed = 0;
        code = ReadFrame(c, static_cast<uint32_t>(e.Size) - raw, chunkRaw, packed);
        if (code != ArchiveOk) return code;
        raw += chunkRaw;
        c.position += packed;
      }
    } else {
      c.position += e.Size;
    }
    c.position += 4;
    totalSize += h.Size;
    if (visit) visit(context, e, name);
  }
  return terminated ? ArchiveOk : ArchiveInvalid;
}

uint32_t RestoreEntries(const ArchiveFile& file, uint64_t archiveOffset, const SfxOptions& options,
                        const RestoreSink& sink) {
  if (options.Compressed == CompressedStrong) return RestoreStrong(file, archiveOffset, sink);
  Cursor& c = gCursor;
  StartCursor(c, file, archiveOffset + sizeof(SfxOptions));
  uint32_t firstDamage = ArchiveOk;
  while (c.position < file.size) {
    EntryHeader h;
    ArchiveEntry e;
    char name[MaxEntryNameLength + 1];
    uint32_t code = ReadEntryStart(c, h, e, name);
    if (code != ArchiveOk) return code;
    if (IsTerminator(h)) return firstDamage;
    if (h.Size > 0 && !gChunkBuffer) {
      gChunkBuffer = static_cast<uint8_t*>(malloc(ChunkBufferSize));
      gInflated = static_cast<uint8_t*>(malloc(ChunkSize));
      if (!gChunkBuffer || !gInflated) return ArchiveTooLarge;
    }
    uint32_t sum = ByteSum(name, static_cast<size_t>(h.NameLength));
    bool writing = sink.BeginEntry(sink.context, e, name);
    // A damaged entry is read to its end, frame by frame.
    uint32_t damage = ArchiveOk;
    // Sizes of the default layout are below 2 GiB.
    for (uint32_t done = 0, size = static_cast<uint32_t>(h.Size); done < size;) {
      const uint8_t* content = gChunkBuffer;
      uint32_t count;
      if (options.Compressed) {
        uint32_t packed = 0;
        code = ReadFrame(c, size - done, count, packed);
        if (code != ArchiveOk) return code;
        if (!Read(c, gChunkBuffer, packed)) return ArchiveShort;
        if (!damage && !Inflate(packed, count)) damage = ArchiveInflate;
        content = gInflated;
      } else {
        count = size - done < ChunkBufferSize ? size - done : ChunkBufferSize;
        if (!Read(c, gChunkBuffer, count)) return ArchiveShort;
      }
      done += count;
      if (damage) continue;
      if (writing) sink.Write(sink.context, content, count);
      sum = ByteSum(content, count, sum);
      sink.Step(sink.context, count);
    }
    uint32_t stored = 0;
    if (!ReadU32(c, stored)) return ArchiveShort;
    if (!damage && stored != sum) damage = ArchiveChecksum;
    code = FinishEntry(sink, e, name, damage, firstDamage);
    if (code != ArchiveOk) return code;
  }
  return ArchiveInvalid;
}
