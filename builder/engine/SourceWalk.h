// Listing one folder of the source tree, one implementation per platform.
#pragma once

#include <stdint.h>

#include <string>
#include <vector>

struct FolderItem {
  std::string name;        // as the system spells it: its code page (Windows) or UTF-8
  std::u16string unicode;  // the same name in UTF-16: the walk's order and the archive name come from it
  // For a name no Unicode text holds (bytes that are not UTF-8, a lone surrogate), the name
  // with those bytes or units escaped for the message that refuses it; empty for others.
  std::string undecodable;
  uint64_t size = 0;
  uint32_t attributes = 0;  // as the archive stores them: 0x10 folder, 0x20 file, 0x01 read-only, ...
  uint64_t writeTime = 0;   // 100 ns units since 1601, UTC
  bool folderLink = false;  // a folder reached through a link: never descended into
};

// The calls that list a folder, defined by the platform that takes others than its own
// (win/SourceWalkHooks.h).
struct FolderListing;

// Every item of the folder (a path ending in its separator, and that path as WidePathOf
// gives it) but "." and "..", listed by `listing` (null: the system's own calls). A link to a file is described by the file it
// leads to. Raises EBuildError naming the folder when it cannot be listed, and
// EInputRefused naming an item no SFX file can carry.
std::vector<FolderItem> ListFolder(const std::string& folder, const std::u16string& wideFolder,
                                   const FolderListing* listing);
