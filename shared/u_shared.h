// The SFX container: the options record, the entry header and the checksum, shared
// byte for byte by the builder that writes an archive and the extractor that reads it.
#pragma once

#include <stddef.h>
#include <stdint.h>

// The most content bytes in one chunk.
constexpr uint32_t ChunkSize = 9437184;        // 0x900000
// The extractor's chunk buffer, and so the largest compressed chunk.
constexpr uint32_t ChunkBufferSize = 10485760;  // 0xA00000

constexpr uint8_t EntryKindOrdinary = 0;
constexpr uint8_t EntryKindLaunchTarget = 1;
constexpr uint8_t EntryKindSelfDelete = 2;

constexpr uint32_t AttributeDirectory = 0x10;
constexpr uint32_t AttributeVolumeLabel = 0x08;

// The fixed name of the self-delete helper entry.
constexpr char SelfDeleteEntryName[] = "xsfxdel~.exe";

// The longest entry name in bytes, for builder and extractor alike: names are relative to
// a source folder read through the ANSI API, so a whole path stays within MAX_PATH.
constexpr int32_t MaxEntryNameLength = 259;

#pragma pack(push, 1)
struct SfxOptions {
  uint8_t ExtractionMode;     // 0 extract only, 1 extract and launch
  uint8_t ExtractionFolder;   // 0 temp, 1 desktop, 2 documents, 3 current, 4 browse, 5 custom
  char CmdParameters[128];    // NUL-terminated, at most 127 characters
  char CustomFolder[261];     // NUL-terminated, ends with a backslash when not empty
  char InstanceId[11];        // 10 upper-case hex digits and NUL
  uint8_t OpenFolder;
  uint8_t Compressed;
  uint8_t OneInstance;
  uint8_t SilentMode;
  uint8_t SelfDeleteMode;
  uint8_t DeleteMode;         // 0 at once, 1 at reboot, 2 never
  uint8_t WorkingDirectory;   // 0 extraction folder, 1 folder of the SFX file, 2 current
  uint8_t OverwriteMode;      // 0 ask, 1 overwrite all, 2 skip all
};

struct EntryHeader {
  uint8_t Kind;
  int32_t NameLength;
  int32_t Size;
  uint32_t Time;        // DOS date (high word) and time (low word), local time
  uint32_t Attributes;
};
#pragma pack(pop)

static_assert(sizeof(SfxOptions) == 410, "options record is 410 bytes");
static_assert(offsetof(SfxOptions, CmdParameters) == 2);
static_assert(offsetof(SfxOptions, CustomFolder) == 130);
static_assert(offsetof(SfxOptions, InstanceId) == 391);
static_assert(offsetof(SfxOptions, OpenFolder) == 402);
static_assert(offsetof(SfxOptions, Compressed) == 403);
static_assert(offsetof(SfxOptions, OneInstance) == 404);
static_assert(offsetof(SfxOptions, SilentMode) == 405);
static_assert(offsetof(SfxOptions, SelfDeleteMode) == 406);
static_assert(offsetof(SfxOptions, DeleteMode) == 407);
static_assert(offsetof(SfxOptions, WorkingDirectory) == 408);
static_assert(offsetof(SfxOptions, OverwriteMode) == 409);
static_assert(sizeof(EntryHeader) == 17, "entry header is 17 bytes");
static_assert(offsetof(EntryHeader, NameLength) == 1);
static_assert(offsetof(EntryHeader, Size) == 5);
static_assert(offsetof(EntryHeader, Time) == 9);
static_assert(offsetof(EntryHeader, Attributes) == 13);

// The wrapping 32-bit sum of the unsigned bytes of a block; added to `sum`.
uint32_t ByteSum(const void* data, size_t length, uint32_t sum = 0);

// The terminator is recognised by its four 32-bit fields alone; the kind byte is not looked at.
inline bool IsTerminator(const EntryHeader& h) {
  return h.NameLength == 0 && h.Size == 0 && h.Time == 0 && h.Attributes == 0;
}

// Reads `length` bytes at `position` of an executable; false when they cannot all be read.
typedef bool (*ReadAtFunction)(void* context, uint32_t position, void* buffer, uint32_t length);

// The archive starts at the end of the head's executable image: the largest
// PointerToRawData + SizeOfRawData over the sections that carry raw data. Gives 0 when
// the MZ or PE signature is missing, no section carries raw data, or a read fails.
uint32_t FindArchiveOffset(ReadAtFunction read, void* context);

// The same rule over an image held in memory.
uint32_t FindArchiveOffset(const void* image, size_t length);
