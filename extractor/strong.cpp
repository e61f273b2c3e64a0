// The strong layout's reader: the compressed directory, checked whole, then the content
// stream's LZMA blocks, decoded one at a time into buffers this reader owns.
#include <LzmaDec.h>
#include <stdlib.h>
#include <string.h>
#include <zlib.h>

#include "archivecore.h"

static_assert(StrongMaxNameLength <= MaxEntryNameLength, "the name rules of both layouts hold");

namespace {

void* Allocate(void*, size_t size) { return malloc(size); }
void Release(void*, void* address) { free(address); }
ISzAlloc gAllocator = {Allocate, Release};

uint32_t Le32(const uint8_t* b) { return b[0] | b[1] << 8 | b[2] << 16 | static_cast<uint32_t>(b[3]) << 24; }

// A raw LZMA stream that gives exactly `rawLength` bytes from exactly `packedLength`; an
// end mark after them is taken too. ArchiveInflate for a stream that does not decode,
// ArchiveInvalid for one that ends early or goes on.
uint32_t Decode(const uint8_t* properties, const uint8_t* packed, uint32_t packedLength, uint8_t* raw,
                uint32_t rawLength) {
  SizeT out = rawLength, in = packedLength;
  ELzmaStatus status;
  SRes result = LzmaDecode(raw, &out, packed, &in, properties, LZMA_PROPS_SIZE, LZMA_FINISH_END, &status, &gAllocator);
  if (result == SZ_ERROR_MEM) return ArchiveTooLarge;
  if (result == SZ_ERROR_DATA) return ArchiveInflate;
  if (result != SZ_OK || out != rawLength || in != packedLength ||
      (status != LZMA_STATUS_FINISHED_WITH_MARK && status != LZMA_STATUS_MAYBE_FINISHED_WITHOUT_MARK))
    return ArchiveInvalid;
  return ArchiveOk;
}

// What the reader learns of each entry from the directory, and keeps for its copies.
struct Slot {
  uint64_t start;     // a file that is no copy: where its content starts in the stream
  uint64_t frame;     // once restored, with copies to come: the frame of its first block
  uint8_t* cache;     // its content, kept until its last copy is made
  uint32_t record;    // where its record starts in the directory
  uint32_t lastCopy;  // the index of its last copy; 0 for none
};

// One pass's state. Reachable from here whatever ends the pass, and freed at the next.
struct Strong {
  StrongHeader header;
  uint8_t* directory;
  Slot* slots;
  uint64_t blockCount;
  uint64_t contentStart;  // the first frame
  uint8_t* raw;           // one block, then room for its largest frame
  uint8_t* packed;
  uint64_t decoded;       // the block in `raw`, or none
  uint32_t cached;        // bytes held by slot caches
} gStrong;

constexpr uint64_t NoBlock = ~0ull;
// One cursor for both passes, which never overlap.
Cursor gCursor;

void FreePass() {
  if (gStrong.slots)
    for (uint32_t i = 0; i < gStrong.header.EntryCount; ++i) free(gStrong.slots[i].cache);
  free(gStrong.slots);
  free(gStrong.directory);
  free(gStrong.raw);
  memset(&gStrong, 0, sizeof gStrong);
}

StrongEntry RecordAt(uint32_t at) {
  StrongEntry record;
  memcpy(&record, gStrong.directory + at, sizeof record);
  return record;
}

ArchiveEntry EntryOf(const StrongEntry& r) {
  return ArchiveEntry{r.Size, r.Time, r.Attributes, r.NameLength, r.Kind, r.CopyOf};
}

// Reads the header and the directory and checks every record against the rules of both
// layouts and the strong layout's own, before anything is decoded from the stream.
uint32_t LoadDirectory(Cursor& c, uint64_t archiveOffset, int64_t& totalSize, ScanVisitFunction visit,
                       void* context) {
  FreePass();
  StrongHeader& h = gStrong.header;
  StartCursor(c, *c.file, archiveOffset + sizeof(SfxOptions));
  if (!Read(c, &h, sizeof h)) return ArchiveShort;
  uint32_t code = CheckStrongHeader(h);
  if (code != ArchiveOk) return code;
  uint8_t* packed = static_cast<uint8_t*>(malloc(h.DirectoryPacked + 1));
  gStrong.directory = static_cast<uint8_t*>(malloc(h.DirectorySize + 1));
  gStrong.slots = static_cast<Slot*>(calloc(h.EntryCount + 1, sizeof(Slot)));
  if (!packed || !gStrong.directory || !gStrong.slots) code = ArchiveTooLarge;
  else if (!Read(c, packed, h.DirectoryPacked)) code = ArchiveShort;
  else if (h.DirectoryPacked || h.DirectorySize)
    code = Decode(h.LzmaProperties, packed, h.DirectoryPacked, gStrong.directory, h.DirectorySize);
  free(packed);
  if (code != ArchiveOk) return code;
  if (crc32(0, gStrong.directory, h.DirectorySize) != h.DirectoryCrc) return ArchiveChecksum;

  FolderOrder order;
  order.length = 0;
  uint64_t stream = 0;
  uint32_t at = 0;
  for (uint32_t i = 0; i < h.EntryCount; ++i) {
    if (h.DirectorySize - at < sizeof(StrongEntry)) return ArchiveInvalid;
    StrongEntry r = RecordAt(at);
    Slot& slot = gStrong.slots[i];
    slot.record = at;
    at += sizeof r;
    if (r.NameLength == 0 || r.NameLength > StrongMaxNameLength || h.DirectorySize - at < r.NameLength)
      return ArchiveInvalid;
    char name[StrongMaxNameLength + 1];
    memcpy(name, gStrong.directory + at, r.NameLength);
    name[r.NameLength] = 0;
    at += r.NameLength;
    ArchiveEntry e = EntryOf(r);
    if (!IsValidEntry(e, name) || !order.Accept(e, name) || e.Size > 0x7FFFFFFFFFFFFFFFull - totalSize)
      return ArchiveInvalid;
    if (r.CopyOf) {
      // Only an earlier file that is no copy, of the same size and CRC.
      uint32_t of = r.CopyOf - 1;
      if (of >= i) return ArchiveInvalid;
      StrongEntry original = RecordAt(gStrong.slots[of].record);
      if ((original.Attributes & AttributeDirectory) || original.CopyOf || original.Size != r.Size ||
          original.Crc != r.Crc)
        return ArchiveInvalid;
      gStrong.slots[of].lastCopy = i;
    } else {
      if (r.Size > h.ContentSize - stream) return ArchiveInvalid;
      slot.start = stream;
      stream += r.Size;
    }
    totalSize += static_cast<int64_t>(e.Size);
    if (visit) visit(context, e, name);
  }
  if (at != h.DirectorySize || stream != h.ContentSize) return ArchiveInvalid;
  gStrong.blockCount = h.ContentSize / h.BlockSize + (h.ContentSize % h.BlockSize != 0);
  gStrong.contentStart = c.position;
  // Every frame takes its length and at least the five bytes that start an LZMA stream.
  if (gStrong.blockCount > (c.file->size - c.position) / 9) return ArchiveInvalid;
  gStrong.decoded = NoBlock;
  return ArchiveOk;
}

uint32_t BlockLength(uint64_t block) {
  uint64_t start = block * gStrong.header.BlockSize;
  uint64_t rest = gStrong.header.ContentSize - start;
  return rest < gStrong.header.BlockSize ? static_cast<uint32_t>(rest) : gStrong.header.BlockSize;
}

// Reads the frame length at `frame`, for `block`, checked against the block's limits.
uint32_t ReadFrameLength(Cursor& c, uint64_t block, uint64_t frame, uint32_t& packed) {
  c.position = frame;
  if (!ReadU32(c, packed)) return ArchiveShort;
  if (packed > StrongMaxPacked(BlockLength(block))) return ArchiveTooLarge;
  if (packed < 5 || packed > c.file->size - c.position) return ArchiveInvalid;
  return ArchiveOk;
}

// A place in the stream: a block and where its frame starts.
struct Where {
  uint64_t block;
  uint64_t frame;
};

uint32_t NextBlock(Cursor& c, Where& w) {
  uint32_t packed;
  uint32_t code = ReadFrameLength(c, w.block, w.frame, packed);
  w.frame += 4 + packed;
  ++w.block;
  return code;
}

uint32_t DecodeBlock(Cursor& c, const Where& w) {
  if (gStrong.decoded == w.block) return ArchiveOk;
  gStrong.decoded = NoBlock;
  uint32_t packed;
  uint32_t code = ReadFrameLength(c, w.block, w.frame, packed);
  if (code != ArchiveOk) return code;
  uint32_t blockSize = gStrong.header.BlockSize;
  if (!gStrong.raw) gStrong.raw = static_cast<uint8_t*>(malloc(blockSize + StrongMaxPacked(blockSize)));
  if (!gStrong.raw) return ArchiveTooLarge;
  gStrong.packed = gStrong.raw + blockSize;
  if (!Read(c, gStrong.packed, packed)) return ArchiveShort;
  code = Decode(gStrong.header.LzmaProperties, gStrong.packed, packed, gStrong.raw, BlockLength(w.block));
  if (code == ArchiveOk) gStrong.decoded = w.block;
  return code == ArchiveInvalid ? ArchiveInflate : code;
}

// Where an entry's content goes, piece by piece, and what it is checked against.
struct Delivery {
  const RestoreSink* sink;
  bool writing;
  uint8_t* cache;  // filled too, when its copies will want it
  uint64_t done;
  uint32_t crc;
};

void Deliver(Delivery& d, const uint8_t* data, uint32_t length) {
  if (d.writing) d.sink->Write(d.sink->context, data, length);
  if (d.cache) memcpy(d.cache + d.done, data, length);
  d.crc = static_cast<uint32_t>(crc32(d.crc, data, length));
  d.done += length;
  d.sink->Step(d.sink->context, length);
}

// Delivers `size` bytes of the stream from `start`, which lies in the block at `w`.
uint32_t DeliverStream(Cursor& c, Where& w, uint64_t start, uint64_t size, Delivery& d) {
  const uint32_t blockSize = gStrong.header.BlockSize;
  for (uint64_t at = start; at < start + size;) {
    while (w.block < at / blockSize) {
      uint32_t code = NextBlock(c, w);
      if (code != ArchiveOk) return code;
    }
    uint32_t code = DecodeBlock(c, w);
    if (code != ArchiveOk) return code;
    uint64_t offset = at - w.block * blockSize, rest = start + size - at;
    uint32_t piece = static_cast<uint32_t>(blockSize - offset < rest ? blockSize - offset : rest);
    Deliver(d, gStrong.raw + offset, piece);
    at += piece;
  }
  return ArchiveOk;
}

}  // namespace

uint32_t CheckStrongHeader(const StrongHeader& h) {
  if (memcmp(h.Magic, StrongMagic, sizeof h.Magic) != 0 || h.Version != StrongVersion || h.Flags || h.Reserved ||
      h.LzmaProperties[0] >= 9 * 5 * 5 || h.BlockSize == 0)
    return ArchiveInvalid;
  if (h.BlockSize > StrongMaxBlockSize || Le32(h.LzmaProperties + 1) > StrongMaxDictionarySize ||
      h.DirectorySize > StrongMaxDirectorySize || h.DirectoryPacked > StrongMaxDirectorySize)
    return ArchiveTooLarge;
  if (h.EntryCount > h.DirectorySize / (sizeof(StrongEntry) + 1)) return ArchiveInvalid;
  return ArchiveOk;
}

uint32_t ScanStrong(const ArchiveFile& file, uint64_t archiveOffset, int64_t& totalSize, ScanVisitFunction visit,
                    void* context) {
  Cursor& c = gCursor;
  c.file = &file;
  uint32_t code = LoadDirectory(c, archiveOffset, totalSize, visit, context);
  // Every frame is in the file, so a file cut short is refused before anything is written.
  for (Where w{0, gStrong.contentStart}; code == ArchiveOk && w.block < gStrong.blockCount;) code = NextBlock(c, w);
  FreePass();
  return code;
}

uint32_t RestoreStrong(const ArchiveFile& file, uint64_t archiveOffset, const RestoreSink& sink) {
  Cursor& c = gCursor;
  c.file = &file;
  int64_t total = 0;
  uint32_t code = LoadDirectory(c, archiveOffset, total, nullptr, nullptr);
  uint32_t firstDamage = ArchiveOk;
  Where stream{0, gStrong.contentStart};
  for (uint32_t i = 0; code == ArchiveOk && i < gStrong.header.EntryCount; ++i) {
    Slot& slot = gStrong.slots[i];
    StrongEntry r = RecordAt(slot.record);
    char name[StrongMaxNameLength + 1];
    memcpy(name, gStrong.directory + slot.record + sizeof r, r.NameLength);
    name[r.NameLength] = 0;
    ArchiveEntry e = EntryOf(r);
    Delivery d{&sink, sink.BeginEntry(sink.context, e, name), nullptr, 0, 0};
    if (r.CopyOf) {
      Slot& original = gStrong.slots[r.CopyOf - 1];
      if (original.cache) {
        if (r.Size) Deliver(d, original.cache, static_cast<uint32_t>(r.Size));
        if (original.lastCopy == i) {
          free(original.cache);
          original.cache = nullptr;
          gStrong.cached -= static_cast<uint32_t>(r.Size);
        }
      } else {
        Where w{original.start / gStrong.header.BlockSize, original.frame};
        code = DeliverStream(c, w, original.start, r.Size, d);
      }
    } else {
      if (r.Size && slot.lastCopy) {
        while (code == ArchiveOk && stream.block < slot.start / gStrong.header.BlockSize) code = NextBlock(c, stream);
        slot.frame = stream.frame;
        if (r.Size <= StrongCacheBudget - gStrong.cached) {
          d.cache = slot.cache = static_cast<uint8_t*>(malloc(static_cast<size_t>(r.Size)));
          if (d.cache) gStrong.cached += static_cast<uint32_t>(r.Size);
        }
      }
      if (code == ArchiveOk) code = DeliverStream(c, stream, slot.start, r.Size, d);
    }
    if (code == ArchiveOk && d.crc != r.Crc) code = ArchiveChecksum;
    if (code == ArchiveInflate || code == ArchiveChecksum) {
      // Its copies decode it again, and fail alike.
      if (slot.cache) gStrong.cached -= static_cast<uint32_t>(r.Size);
      free(slot.cache);
      slot.cache = nullptr;
      if (sink.Damaged && sink.Damaged(sink.context, e, name, code)) {
        if (firstDamage == ArchiveOk) firstDamage = code;
        code = ArchiveOk;
        continue;
      }
    }
    if (code == ArchiveOk) sink.EndEntry(sink.context, e);
  }
  FreePass();
  return code != ArchiveOk ? code : firstDamage;
}
