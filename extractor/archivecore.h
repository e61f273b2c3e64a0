// What both layouts' readers share: positioned reads through one window, and the checks
// every entry passes whatever layout stores it.
#pragma once

#include "archive.h"

// Small reads (headers, names, frames, small chunks) come from one window of the file, so
// many small entries cost one system read; large reads bypass it.
constexpr uint32_t WindowSize = 65536;

struct Cursor {
  const ArchiveFile* file;
  uint64_t position;
  uint64_t windowStart;
  uint32_t windowLength;
  uint8_t window[WindowSize];
};

void StartCursor(Cursor& c, const ArchiveFile& file, uint64_t position);
// False when the bytes are not all in the file.
bool Read(Cursor& c, void* out, uint32_t length);
bool ReadU32(Cursor& c, uint32_t& value);

// Kind, folder and helper rules.
bool IsValidKind(const ArchiveEntry& entry, const char* name);
// Those, and a safe name of `entry.NameLength` bytes in the code page.
bool IsValidEntry(const ArchiveEntry& entry, const char* name);
// The default layout's name rule: IsSafeEntryName (storedname.cpp), except in the head,
// which checks each name as it creates it, converted from the ANSI code page as the
// system's A functions convert, under IsSafeWideName (sfxhead.cpp).
bool IsSafeStoredName(const char* name, size_t length);

// An entry's folder is the last folder entry or one of its parents, as the builders'
// depth-first walk writes them, so every folder is named before its contents.
// Names are stepped through by `next` (null: byte by byte), so a trail byte 0x5C never
// parts a name of the code page.
struct FolderOrder {
  NextCharFunction next;
  size_t length;
  char folder[0x10000];
  bool Accept(const ArchiveEntry& entry, const char* name);
};

// After an entry's content: EndEntry when `damage` is ArchiveOk, else the sink's Damaged
// decides whether the pass goes on (ArchiveOk, the first damage kept) or ends with it.
uint32_t FinishEntry(const RestoreSink& sink, const ArchiveEntry& entry, const char* name, uint32_t damage,
                     uint32_t& firstDamage);

uint32_t ScanStrong(const ArchiveFile& file, uint64_t archiveOffset, int64_t& totalSize, ScanVisitFunction visit,
                    void* context);
uint32_t RestoreStrong(const ArchiveFile& file, uint64_t archiveOffset, const RestoreSink& sink);
