// The strong layout: the archive that follows an options record whose Compressed byte is
// CompressedStrong. A compressed directory of every entry comes first, then the contents
// of all files as one stream cut into blocks, each compressed on its own with LZMA. All
// integers are little-endian. The format note in the README describes it byte by byte.
#pragma once

#include <stddef.h>
#include <stdint.h>

// Values of SfxOptions::Compressed.
constexpr uint8_t CompressedNone = 0;     // entries stored
constexpr uint8_t CompressedDeflate = 1;  // entries in deflate chunks
constexpr uint8_t CompressedStrong = 2;   // the strong layout

// The layout version a reader knows; a later one is refused, never guessed at.
constexpr uint8_t StrongVersion = 1;

// The largest block and dictionary a head accepts; the builders write less.
constexpr uint32_t StrongMaxBlockSize = 64u << 20;
constexpr uint32_t StrongMaxDictionarySize = 64u << 20;
// The largest frame of a block: LZMA grows incompressible data by a little.
constexpr uint64_t StrongMaxPacked(uint32_t blockSize) { return blockSize + blockSize / 16ull + 65536; }
// The largest directory, raw or packed, and the longest name in it.
constexpr uint32_t StrongMaxDirectorySize = 256u << 20;
constexpr uint32_t StrongMaxNameLength = 259;

#pragma pack(push, 1)
// Right after the options record.
struct StrongHeader {
  char Magic[4];            // "OVZ" and a zero byte
  uint8_t Version;          // StrongVersion
  uint8_t Flags;            // StrongFlag bits; a reader refuses a bit it does not know
  uint8_t LzmaProperties[5];  // of every stream below: lc/lp/pb byte, dictionary size
  uint8_t Reserved;         // 0
  uint32_t BlockSize;       // raw bytes of every content block but the last, which is shorter
  uint32_t EntryCount;      // entries in the directory
  uint64_t ContentSize;     // raw bytes of the content stream
  uint32_t DirectorySize;   // raw bytes of the directory
  uint32_t DirectoryPacked; // bytes of its LZMA stream, which follows this header
  uint32_t DirectoryCrc;    // CRC-32 of the raw directory
};

// One directory record, followed by NameLength bytes of name (no NUL). Folders come
// before their contents, in the walk order of the default layout.
struct StrongEntry {
  uint8_t Kind;             // EntryKindOrdinary, EntryKindLaunchTarget, EntryKindSelfDelete
  uint32_t Attributes;      // AttributeDirectory for a folder, whose Size is 0
  uint32_t Time;            // DOS date and time, local time, as in the default layout
  uint64_t Size;            // content bytes
  uint32_t Crc;             // CRC-32 of the content
  uint32_t CopyOf;          // 0, or 1 + the index of an earlier file with the same content
  uint16_t NameLength;
};
#pragma pack(pop)

static_assert(sizeof(StrongHeader) == 40, "strong header is 40 bytes");
static_assert(offsetof(StrongHeader, BlockSize) == 12);
static_assert(offsetof(StrongHeader, ContentSize) == 20);
static_assert(sizeof(StrongEntry) == 27, "strong directory record is 27 bytes");
static_assert(offsetof(StrongEntry, Size) == 9);
static_assert(offsetof(StrongEntry, CopyOf) == 21);

constexpr char StrongMagic[4] = {'O', 'V', 'Z', 0};

// Bits of StrongHeader::Flags. The builders set both; a reader takes any of them or none.
constexpr uint8_t StrongFlagChunks = 1;  // every frame is a run of chunks, see below
constexpr uint8_t StrongFlagTexts = 2;   // the directory starts with the texts, see below
constexpr uint8_t StrongKnownFlags = StrongFlagChunks | StrongFlagTexts;

// With StrongFlagTexts the raw directory starts, before its first record, with two texts in
// UTF-8: the custom folder, then the launch parameters; each a uint16_t byte length and that
// many bytes, no NUL, at most StrongMaxTextLength. A reader takes these rather than the
// options record's code-page copies, which a builder fills only where the code page holds
// the text and leaves empty where it does not.
constexpr uint32_t StrongMaxTextLength = 4096;

// After the directory's stream, one frame per block, in stream order:
//   uint32_t Packed;  then Packed bytes that decode to exactly BlockSize bytes, or to the
//   rest of ContentSize for the last block: without StrongFlagChunks one raw LZMA stream
//   (no header, no end mark); with it, chunks, each
//     uint32_t Raw; uint32_t Stored;  then Stored bytes:
//     Stored == Raw: the Raw bytes themselves, as they are;
//     Stored < Raw: a raw LZMA stream of Raw bytes (no end mark) that goes on with the
//       block's window and coder state, with a range coder of its own; the coder state of a
//       block starts fresh at its first LZMA chunk, and a chunk of bytes as they are leaves
//       it as it was;
//     Stored > Raw, Raw == 0 or more than the block's rest: damage.
//   Incompressible stretches then cost eight bytes a chunk rather than what LZMA adds.
// The block count is ContentSize / BlockSize rounded up. Nothing follows the last frame
// (a signature may: readers stop there).
