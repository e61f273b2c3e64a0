// Reading the archive behind an SFX head: locating it, the validating scan pass and the
// restoring pass. No Windows here: the file is reached through a read seam and the file
// system through a sink, so host tests and the fuzz target drive the very same code.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "u_shared.h"
#include "u_strong.h"

// Results are Win32 error codes, so the extractor hands them to FinishSfx unchanged.
constexpr uint32_t ArchiveOk = 0;
// ERROR_NOT_ENOUGH_MEMORY: a chunk, block, dictionary or directory beyond what the reader
// takes, or memory it cannot have
constexpr uint32_t ArchiveTooLarge = 8;
constexpr uint32_t ArchiveInvalid = 13;      // ERROR_INVALID_DATA: list, name or framing unusable
constexpr uint32_t ArchiveChecksum = 23;     // ERROR_CRC
constexpr uint32_t ArchiveShort = 38;        // ERROR_HANDLE_EOF: no archive, or a read past the end
constexpr uint32_t ArchiveInflate = 160;     // ERROR_BAD_ARGUMENTS: a chunk or block that does not decode

// The most content the strong layout's reader keeps in memory at once for the copies of
// files still to come; past it, an original's blocks are decoded again for its copy.
constexpr uint32_t StrongCacheBudget = 16u << 20;

// One entry as the scan and the sink see it, in either layout: the strong layout's
// directory record, into which the default layout's headers are read (with no CRC and
// no copies). CopyOf is 1 + the index of the entry whose content an entry repeats.
typedef StrongEntry ArchiveEntry;

// Reads exactly `length` bytes at `position`. The extractor's seam never gives false: a
// failed read ends the run through its failure guard. 64-bit positions, so an SFX file
// is read whole whatever size the builder lets it reach.
typedef bool (*ArchiveReadFunction)(void* context, uint64_t position, void* buffer, uint32_t length);

struct ArchiveFile {
  ArchiveReadFunction read;
  void* context;
  uint64_t size;
};

// Steps over one character of a name; double-byte characters are stepped over whole, so
// a trail byte 0x5C never splits a name. Single-byte while null; the extractor installs
// the system's CharNextA.
typedef const char* (*NextCharFunction)(const char* p);
extern NextCharFunction gNextNameChar;

// True for a name that stays inside the folder it is joined to, under the name it gives:
// not empty, relative, no drive, UNC or stream colon, no empty part and none that ends in
// a dot or blank (Windows would drop them: "x." names x, ".." the parent), no device
// name, no control character, NUL byte or character that Windows refuses in a name
// (* ? " < > |).
bool IsSafeEntryName(const char* name, size_t length);

// Gives ArchiveOk and the position of the options record, or ArchiveShort when the file
// carries no archive (no executable headers, no raw section, no room for the record).
uint32_t LocateArchive(const ArchiveFile& file, uint64_t& archiveOffset);

// The strong layout's header checked alone: ArchiveInvalid for another magic, a version
// other than StrongVersion, a flag bit it does not know, a reserved bit, no block size or
// a directory too short for its entries; ArchiveTooLarge for a block, dictionary or directory beyond the
// reader's limits.
uint32_t CheckStrongHeader(const StrongHeader& header);

// The strong layout's custom folder and launch parameters in UTF-8, NUL-terminated, as the
// last scan or restoring pass of a strong archive found them; `carried` is false (and
// both are empty) for an archive without them, whose options record holds them instead.
struct ArchiveTexts {
  bool carried;
  char customFolder[StrongMaxTextLength + 1];
  char parameters[StrongMaxTextLength + 1];
};
extern ArchiveTexts gArchiveTexts;

// Called by the scan for every entry it accepted, `name` NUL-terminated.
typedef void (*ScanVisitFunction)(void* context, const ArchiveEntry& entry, const char* name);

// The validating pass, for either layout (SfxOptions::Compressed): walks every header or
// directory record, name and frame without decoding content, and adds up the sizes.
// Refuses with ArchiveInvalid a list without a terminator, an unsafe name, an entry whose
// folder is neither the last folder entry nor one of its parents (the builders write each
// folder just before its contents), and a frame that disagrees with its entry (a list
// without content bytes, or without entries, is well formed); with ArchiveTooLarge a
// chunk beyond ChunkBufferSize. The strong layout also refuses a directory that does not
// decode (ArchiveInflate), has another length or CRC (ArchiveInvalid, ArchiveChecksum), a
// copy of anything but an earlier file of its size and CRC, a content size other than the
// sum of the files that are no copies, and frames that do not fit in the file. `visit`
// may be null.
uint32_t ScanEntries(const ArchiveFile& file, uint64_t archiveOffset, const SfxOptions& options,
                     int64_t& totalSize, ScanVisitFunction visit, void* context = nullptr);

// What the restoring pass does with each entry. Every callback may end the run itself.
struct RestoreSink {
  // After the name is read. `name` is NUL-terminated. Gives true when the content goes
  // to disk, false when an existing file is kept (it is still read and verified).
  bool (*BeginEntry)(void* context, const ArchiveEntry& entry, const char* name);
  // Content produced, only for entries that are written.
  void (*Write)(void* context, const void* data, uint32_t length);
  // After each content step, with the content bytes it counted.
  void (*Step)(void* context, uint32_t count);
  // After the checksum matched.
  void (*EndEntry)(void* context, const ArchiveEntry& entry);
  void* context;
  // May be null. For an entry whose content does not decode (ArchiveInflate) or whose
  // checksum does not match (ArchiveChecksum): true goes on with the next entry, without
  // EndEntry for this one, and the pass then gives the first such code at its end; null
  // or false ends the pass with the code at once.
  bool (*Damaged)(void* context, const ArchiveEntry& entry, const char* name, uint32_t code);
};

// The restoring pass, from the first entry to the last: reads, decodes and verifies every
// entry and hands it to the sink. A copy's content comes from the archive, never from the
// file its original was written to (which may have been kept, or changed since). Gives
// ArchiveOk after the last entry, or the code of the first failure (ArchiveInflate
// concerns the current entry's target).
uint32_t RestoreEntries(const ArchiveFile& file, uint64_t archiveOffset, const SfxOptions& options,
                        const RestoreSink& sink);
