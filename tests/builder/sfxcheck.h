// Checks of the SFX files the builder writes, against the source folder they came from.
// The files are read by the extractor's own reader; what the builder promises beyond what
// that reader needs (full chunks but the last, a zero terminator ending the file) is
// checked here.
#pragma once

#include <stdint.h>
#include <windows.h>

#include <string>
#include <vector>

#include "archiverun.h"

using ReadEntry = sfxtest::Restored;
using SfxArchive = sfxtest::RunResult;

// Reads `bytes` as an SFX file; an empty result, or the first defect found.
std::string ReadSfx(const std::string& bytes, SfxArchive& archive);

// One item of a source folder as the file system shows it, in the builder's walk order.
struct SourceItem {
  std::string name;  // relative, backslash separators
  uint32_t attributes;
  uint32_t time;  // DOS date and time, local
  std::string content;
};

// A file time as the builder stores it: DOS date and time, local.
uint32_t DosTimeOf(const FILETIME& written);

// The pre-order walk of the folder in the file system's own enumeration order.
std::vector<SourceItem> WalkSource(const std::string& folder);

// Checks the entries against the walk: order, kinds, names, sizes, times, attributes,
// content, chunk framing. `launchName` is the relative name of the kind-1 entry, if any.
void ExpectEntriesMatch(const std::vector<ReadEntry>& entries, const std::vector<SourceItem>& items,
                        const std::string& launchName = std::string());
