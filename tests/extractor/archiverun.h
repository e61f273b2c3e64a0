// Runs the extractor's archive reader over an SFX file held in memory, as the extractor
// does: locate, scan, and only when the scan accepts it, restore. Shared by the host
// tests, the regression corpus and the fuzz target.
#pragma once

#include <stdint.h>

#include <string>
#include <vector>

#include "archive.h"

namespace sfxtest {

struct Restored {
  EntryHeader header;
  std::string name;
  std::string content;
};

struct RunResult {
  uint32_t code = 0;        // what the extractor ends with; 0 after the terminator
  SfxOptions options{};     // the record, once the archive was located
  bool scanned = false;     // the scan accepted the archive
  int64_t totalSize = 0;
  std::vector<Restored> entries;  // every entry begun, in order
  uint64_t reads = 0;       // read calls reaching the file
};

// Aborts the process (as a fuzzer finding) when the reader breaks one of its promises:
// an unsafe name reaching the sink, more content than an entry's size, content written
// for an entry that was not begun.
RunResult RunArchive(const std::string& file);

}  // namespace sfxtest
