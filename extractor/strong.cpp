// The strong layout's reader: the compressed directory, checked whole, then the content
// stream's LZMA blocks, decoded one at a time into buffers this reader owns.
#include <LzmaDec.h>
#include <stddef.h>
#include <stdlib.h>
#include <string.h>
#include <zlib.h>

#include "archivecore.h"
#include "u_names.h"

// Resets the range decoder alone between chunks; LzmaDec.c defines it, its header leaves it out.
extern "C" void LzmaDec_InitDicAndState(CLzmaDec* p, Bool initDic, Bool initState);

// The longest name in bytes: its length field's largest value. MaxNameUnits limits it
// further, as UTF-16.
constexpr uint32_t LongestName = 0xFFFF;

ArchiveTexts gArchiveTexts;

namespace {

void* Allocate(void*, size_t size) { return malloc(size); }
void Release(void*, void* address) { free(address); }
// Read-only data: the decoder only calls through it, though this SDK's API takes it mutable.
const ISzAlloc gAllocator = {Allocate, Release};

uint32_t Le32(const uint8_t* b) { return b[0] | b[1] << 8 | b[2] << 16 | static_cast<uint32_t>(b[3]) << 24; }

// A place in the stream: a block and where its frame starts.
struct Where {
  uint64_t block;
  uint64_t frame;
};

// What the reader learns of each entry from the directory, and keeps for its copies.
struct Slot {
  uint64_t start;     // a file that is no copy: where its content starts in the stream
  Where first;        // once restored, with copies to come: the block it starts in
  uint8_t* cache;     // its content, kept until its last copy is made
  uint32_t record;    // where its record starts in the directory
  uint32_t lastCopy;  // the index of its last copy; 0 for none
  uint32_t hash;      // NameHash of its name
};

// One pass's state, on the heap so that the code reaches it through one pointer.
// Reachable from here whatever ends the pass, and freed at the next.
struct Strong {
  StrongHeader header;
  uint8_t* directory;
  Slot* slots;
  uint64_t contentStart;  // the first frame
  uint8_t* raw;           // one block
  uint64_t decoded;       // the block in `raw`, or none
  uint32_t cached;        // bytes held by slot caches
  uint32_t* names;        // a hash table of the names: 1 + an entry's index, or 0
  uint32_t namesMask;     // its size less one, a power of two less one
  Cursor cursor;          // after the fields above, so they are near the pointer
  char name[LongestName + 1];
  uint16_t wide[MaxNameUnits];
  uint16_t other[MaxNameUnits];
  FolderOrder order;
  uint8_t input[1 << 16]; // LZMA bytes on their way to the decoder, never cleared
};
Strong* gStrong;

// The pass's state, made at the first pass.
Strong* Pass() {
  if (!gStrong) gStrong = static_cast<Strong*>(calloc(1, sizeof(Strong)));
  return gStrong;
}

constexpr uint64_t NoBlock = ~0ull;

void FreePass(Strong& s) {
  if (s.slots)
    for (uint32_t i = 0; i < s.header.EntryCount; ++i) free(s.slots[i].cache);
  free(s.slots);
  free(s.names);
  free(s.directory);
  free(s.raw);
  memset(&s, 0, offsetof(Strong, input));
}

// Decodes the `frameLength` bytes at the cursor into exactly `rawLength`: with `chunks`, the
// chunks of a block's frame; without, one raw LZMA stream. LZMA bytes pass through `input`,
// bytes as they are go straight into place. ArchiveInflate for a stream that does not
// decode, ArchiveInvalid for one that ends early or goes on and for chunks that do not add up.
uint32_t DecodeFrame(Strong& s, uint32_t frameLength, uint8_t* raw, uint32_t rawLength, bool chunks) {
  CLzmaDec d;
  LzmaDec_Construct(&d);
  SRes result = LzmaDec_AllocateProbs(&d, s.header.LzmaProperties, LZMA_PROPS_SIZE, const_cast<ISzAlloc*>(&gAllocator));
  if (result != SZ_OK) return result == SZ_ERROR_MEM ? ArchiveTooLarge : ArchiveInflate;
  d.dic = raw;
  d.dicBufSize = rawLength;
  LzmaDec_Init(&d);
  Cursor& c = s.cursor;
  uint32_t code = ArchiveOk;
  while (code == ArchiveOk && d.dicPos < rawLength) {
    uint32_t length = rawLength, stored = frameLength;
    if (chunks) {
      if (frameLength < 8 || !ReadU32(c, length) || !ReadU32(c, stored)) {
        code = ArchiveInvalid;
        break;
      }
      frameLength -= 8;
      if (length == 0 || length > rawLength - d.dicPos || stored > length || stored > frameLength) {
        code = ArchiveInvalid;
        break;
      }
    }
    frameLength -= stored;
    const SizeT end = d.dicPos + length;
    if (chunks && stored == length) {
      // Bytes as they are: into the window, the coder state untouched. The window is the
      // whole block, so a distance within what came before stays within it; the decoder
      // bounds distances by the dictionary again from its next step.
      if (!Read(c, raw + d.dicPos, length)) code = ArchiveShort;
      d.dicPos = end;
      d.processedPos += length;
      continue;
    }
    // A range coder of its own, on the window and coder state so far.
    LzmaDec_InitDicAndState(&d, False, False);
    ELzmaStatus status = LZMA_STATUS_NOT_SPECIFIED;
    SizeT have = 0, at = 0;
    while (code == ArchiveOk && d.dicPos < end) {
      if (at == have) {
        if (stored == 0) {
          code = ArchiveInvalid;
          break;
        }
        have = stored < sizeof s.input ? stored : sizeof s.input;
        if (!Read(c, s.input, static_cast<uint32_t>(have))) {
          code = ArchiveShort;
          break;
        }
        stored -= static_cast<uint32_t>(have);
        at = 0;
      }
      SizeT in = have - at;
      if (LzmaDec_DecodeToDic(&d, end, s.input + at, &in, LZMA_FINISH_ANY, &status) != SZ_OK) code = ArchiveInflate;
      at += in;
    }
    if (code == ArchiveOk && (stored || at != have || status != LZMA_STATUS_MAYBE_FINISHED_WITHOUT_MARK))
      code = ArchiveInvalid;
  }
  if (code == ArchiveOk && frameLength) code = ArchiveInvalid;
  LzmaDec_FreeProbs(&d, const_cast<ISzAlloc*>(&gAllocator));
  return code;
}

StrongEntry RecordAt(const Strong& s, uint32_t at) {
  StrongEntry record;
  memcpy(&record, s.directory + at, sizeof record);
  return record;
}

// The name of the entry whose record `slot` holds, NUL-terminated, in s.name.
const char* NameAt(Strong& s, const Slot& slot) {
  uint16_t length = RecordAt(s, slot.record).NameLength;
  memcpy(s.name, s.directory + slot.record + sizeof(StrongEntry), length);
  s.name[length] = 0;
  return s.name;
}

long WideAt(const Strong& s, const Slot& slot, uint16_t* wide) {
  const uint8_t* name = s.directory + slot.record + sizeof(StrongEntry);
  return WideFromUtf8(reinterpret_cast<const char*>(name), RecordAt(s, slot.record).NameLength, wide, MaxNameUnits);
}

// Checks entry `i`'s name as Windows will see it and enters it in the table of names: no
// two names in one folder may be one name to the file system, or the second would replace
// the first. (Two whole names are one exactly when they meet in some folder, as every
// folder is an entry of its own.) Names that differ only in Unicode normalisation, a
// precomposed letter against the letter and its combining mark, are two names to Windows
// file systems, which compare units and never normalise: both are written, neither
// replaces the other, so they are accepted as they are.
bool AddName(Strong& s, uint32_t i) {
  Slot& slot = s.slots[i];
  long length = WideAt(s, slot, s.wide);
  if (length < 0 || !IsSafeWideName(s.wide, static_cast<size_t>(length))) return false;
  slot.hash = NameHash(s.wide, static_cast<size_t>(length));
  for (uint32_t at = slot.hash;; ++at) {
    uint32_t& taken = s.names[at & s.namesMask];
    if (!taken) {
      taken = i + 1;
      return true;
    }
    const Slot& earlier = s.slots[taken - 1];
    if (earlier.hash == slot.hash &&
        SameName(s.wide, static_cast<size_t>(length), s.other, static_cast<size_t>(WideAt(s, earlier, s.other))))
      return false;
  }
}

// With StrongFlagTexts the directory starts with the custom folder and the parameters, in
// strict UTF-8 of at most StrongMaxTextLength bytes each, the folder a path that names
// no device and nothing Windows cannot create.
uint32_t LoadTexts(Strong& s, uint32_t& at) {
  ArchiveTexts& t = gArchiveTexts;
  t.carried = (s.header.Flags & StrongFlagTexts) != 0;
  char* const texts[] = {t.customFolder, t.parameters};
  for (char* text : texts) {
    text[0] = 0;
    if (!t.carried) continue;
    if (s.header.DirectorySize - at < 2) return ArchiveInvalid;
    uint32_t length = s.directory[at] | s.directory[at + 1] << 8;
    at += 2;
    if (length > StrongMaxTextLength || s.header.DirectorySize - at < length) return ArchiveInvalid;
    memcpy(text, s.directory + at, length);
    text[length] = 0;
    at += length;
    long units = WideFromUtf8(text, length, s.wide, MaxNameUnits);
    if (units < 0 || (text == t.customFolder && !IsSafeWideFolder(s.wide, static_cast<size_t>(units))))
      return ArchiveInvalid;
  }
  return ArchiveOk;
}

// Reads the header and the directory and checks every record against the rules of both
// layouts and the strong layout's own, before anything is decoded from the stream.
uint32_t LoadDirectory(Strong& s, const ArchiveFile& file, uint64_t archiveOffset, int64_t& totalSize,
                       ScanVisitFunction visit, void* context) {
  FreePass(s);
  Cursor& c = s.cursor;
  StrongHeader& h = s.header;
  StartCursor(c, file, archiveOffset + sizeof(SfxOptions));
  if (!Read(c, &h, sizeof h)) return ArchiveShort;
  uint32_t code = CheckStrongHeader(h);
  if (code != ArchiveOk) return code;
  s.directory = static_cast<uint8_t*>(malloc(h.DirectorySize + 1));
  s.slots = static_cast<Slot*>(calloc(h.EntryCount + 1, sizeof(Slot)));
  if (!s.directory || !s.slots) return ArchiveTooLarge;
  code = DecodeFrame(s, h.DirectoryPacked, s.directory, h.DirectorySize, false);
  if (code != ArchiveOk) return code;
  if (crc32(0, s.directory, h.DirectorySize) != h.DirectoryCrc) return ArchiveChecksum;

  uint32_t at = 0;
  code = LoadTexts(s, at);
  if (code != ArchiveOk) return code;
  // Empty, as FreePass left it, and stepping byte by byte: in UTF-8 a backslash byte is
  // always a backslash.
  FolderOrder& order = s.order;
  uint32_t size = 2;
  while (size < 2 * h.EntryCount) size *= 2;
  s.names = static_cast<uint32_t*>(calloc(size, sizeof(uint32_t)));
  if (!s.names) return ArchiveTooLarge;
  s.namesMask = size - 1;
  uint64_t stream = 0;
  for (uint32_t i = 0; i < h.EntryCount; ++i) {
    if (h.DirectorySize - at < sizeof(StrongEntry)) return ArchiveInvalid;
    StrongEntry r = RecordAt(s, at);
    Slot& slot = s.slots[i];
    slot.record = at;
    at += sizeof r;
    // An empty name is refused with the rest of the name rules (AddName).
    if (h.DirectorySize - at < r.NameLength) return ArchiveInvalid;
    const char* name = NameAt(s, slot);
    at += r.NameLength;
    if (!IsValidKind(r, name) || !AddName(s, i) || !order.Accept(r, name) ||
        r.Size > 0x7FFFFFFFFFFFFFFFull - totalSize)
      return ArchiveInvalid;
    if (r.CopyOf) {
      // Only an earlier file that is no copy, of the same size and CRC.
      uint32_t of = r.CopyOf - 1;
      if (of >= i) return ArchiveInvalid;
      StrongEntry original = RecordAt(s, s.slots[of].record);
      if ((original.Attributes & AttributeDirectory) || original.CopyOf || original.Size != r.Size ||
          original.Crc != r.Crc)
        return ArchiveInvalid;
      s.slots[of].lastCopy = i;
    } else {
      if (r.Size > h.ContentSize - stream) return ArchiveInvalid;
      slot.start = stream;
      stream += r.Size;
    }
    totalSize += static_cast<int64_t>(r.Size);
    if (visit) visit(context, r, name);
  }
  if (at != h.DirectorySize || stream != h.ContentSize) return ArchiveInvalid;
  s.contentStart = c.position;
  s.decoded = NoBlock;
  return ArchiveOk;
}

uint32_t BlockLength(const Strong& s, uint64_t block) {
  uint64_t rest = s.header.ContentSize - block * s.header.BlockSize;
  return rest < s.header.BlockSize ? static_cast<uint32_t>(rest) : s.header.BlockSize;
}

// Reads the frame length of the block at `w`, checked against the limits of a full block.
uint32_t ReadFrameLength(Strong& s, const Where& w, uint32_t& packed) {
  Cursor& c = s.cursor;
  c.position = w.frame;
  if (!ReadU32(c, packed)) return ArchiveShort;
  if (packed > StrongMaxPacked(s.header.BlockSize)) return ArchiveTooLarge;
  if (packed > c.file->size - c.position) return ArchiveInvalid;
  return ArchiveOk;
}

uint32_t NextBlock(Strong& s, Where& w) {
  uint32_t packed;
  uint32_t code = ReadFrameLength(s, w, packed);
  w.frame += 4 + packed;
  ++w.block;
  return code;
}

uint32_t DecodeBlock(Strong& s, const Where& w) {
  if (s.decoded == w.block) return ArchiveOk;
  s.decoded = NoBlock;
  uint32_t packed;
  uint32_t code = ReadFrameLength(s, w, packed);
  if (code != ArchiveOk) return code;
  if (!s.raw) s.raw = static_cast<uint8_t*>(malloc(s.header.BlockSize));
  if (!s.raw) return ArchiveTooLarge;
  code = DecodeFrame(s, packed, s.raw, BlockLength(s, w.block), s.header.Flags & StrongFlagChunks);
  if (code == ArchiveOk) s.decoded = w.block;
  return code == ArchiveInvalid ? ArchiveInflate : code;
}

// Where an entry's content goes, piece by piece, and what it is checked against.
struct Delivery {
  const RestoreSink* sink;
  bool writing;
  uint8_t* cache;  // filled too, up to here, when its copies will want it
  uint32_t crc;
};

void Deliver(Delivery& d, const uint8_t* data, uint32_t length) {
  if (d.writing) d.sink->Write(d.sink->context, data, length);
  if (d.cache) d.cache = static_cast<uint8_t*>(memcpy(d.cache, data, length)) + length;
  d.crc = static_cast<uint32_t>(crc32(d.crc, data, length));
  d.sink->Step(d.sink->context, length);
}

// Delivers `size` bytes of the stream from `start`, in the block at `w` or a later one;
// `first` becomes the block it starts in. The blocks are walked to, never divided out: a
// `w` past `start` walks on until the frames fail.
uint32_t DeliverStream(Strong& s, Where& w, uint64_t start, uint64_t size, Delivery& d, Where& first) {
  const uint32_t blockSize = s.header.BlockSize;
  uint32_t code = ArchiveOk;
  while (code == ArchiveOk && start - w.block * blockSize >= blockSize) code = NextBlock(s, w);
  first = w;
  uint64_t block = w.block;
  uint32_t offset = static_cast<uint32_t>(start - block * blockSize);
  for (; code == ArchiveOk && size; offset = 0) {
    if (w.block < block) code = NextBlock(s, w);
    if (code == ArchiveOk) code = DecodeBlock(s, w);
    if (code != ArchiveOk) break;
    uint32_t piece = blockSize - offset < size ? blockSize - offset : static_cast<uint32_t>(size);
    Deliver(d, s.raw + offset, piece);
    size -= piece;
    ++block;
  }
  return code;
}

}  // namespace

uint32_t CheckStrongHeader(const StrongHeader& h) {
  if (Le32(reinterpret_cast<const uint8_t*>(h.Magic)) != Le32(reinterpret_cast<const uint8_t*>(StrongMagic)) ||
      h.Version != StrongVersion || (h.Flags & ~StrongKnownFlags) || h.Reserved || h.BlockSize == 0)
    return ArchiveInvalid;
  if (h.BlockSize > StrongMaxBlockSize || Le32(h.LzmaProperties + 1) > StrongMaxDictionarySize ||
      h.DirectorySize > StrongMaxDirectorySize || h.DirectoryPacked > StrongMaxDirectorySize)
    return ArchiveTooLarge;
  if (h.EntryCount > h.DirectorySize / (sizeof(StrongEntry) + 1)) return ArchiveInvalid;
  return ArchiveOk;
}

uint32_t ScanStrong(const ArchiveFile& file, uint64_t archiveOffset, int64_t& totalSize, ScanVisitFunction visit,
                    void* context) {
  Strong* pass = Pass();
  if (!pass) return ArchiveTooLarge;
  Strong& s = *pass;
  uint32_t code = LoadDirectory(s, file, archiveOffset, totalSize, visit, context);
  // Every frame is in the file, so a file cut short is refused before anything is written.
  // Each takes at least four bytes of it, so a claim of more blocks than fit ends soon.
  for (Where w{0, s.contentStart}; code == ArchiveOk && w.block * s.header.BlockSize < s.header.ContentSize;)
    code = NextBlock(s, w);
  FreePass(s);
  return code;
}

uint32_t RestoreStrong(const ArchiveFile& file, uint64_t archiveOffset, const RestoreSink& sink) {
  Strong* pass = Pass();
  if (!pass) return ArchiveTooLarge;
  Strong& s = *pass;
  int64_t total = 0;
  uint32_t code = LoadDirectory(s, file, archiveOffset, total, nullptr, nullptr);
  uint32_t firstDamage = ArchiveOk;
  Where stream{0, s.contentStart};
  for (uint32_t i = 0; code == ArchiveOk && i < s.header.EntryCount; ++i) {
    Slot& slot = s.slots[i];
    StrongEntry r = RecordAt(s, slot.record);
    const char* name = NameAt(s, slot);
    Delivery d{&sink, sink.BeginEntry(sink.context, r, name), nullptr, 0};
    if (r.CopyOf) {
      Slot& original = s.slots[r.CopyOf - 1];
      if (original.cache) {
        if (r.Size) Deliver(d, original.cache, static_cast<uint32_t>(r.Size));
        if (original.lastCopy == i) {
          free(original.cache);
          original.cache = nullptr;
          s.cached -= static_cast<uint32_t>(r.Size);
        }
      } else {
        Where w = original.first;
        code = DeliverStream(s, w, original.start, r.Size, d, original.first);  // which stays
      }
    } else {
      if (slot.lastCopy && r.Size <= StrongCacheBudget - s.cached) {
        d.cache = slot.cache = static_cast<uint8_t*>(malloc(static_cast<size_t>(r.Size)));
        if (d.cache) s.cached += static_cast<uint32_t>(r.Size);
      }
      code = DeliverStream(s, stream, slot.start, r.Size, d, slot.first);
    }
    if (code == ArchiveOk && d.crc != r.Crc) code = ArchiveChecksum;
    // A damaged original's copies are damaged alike: its kept content fails their CRC.
    if (code == ArchiveOk || code == ArchiveInflate || code == ArchiveChecksum)
      code = FinishEntry(sink, r, name, code, firstDamage);
  }
  FreePass(s);
  return code != ArchiveOk ? code : firstDamage;
}
