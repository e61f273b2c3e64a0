// Runs the extractor's archive reader over an SFX file held in memory, as the extractor
// does: locate, scan, and only when the scan accepts it, restore. The one reader of SFX
// files for the host tests, the regression corpus, the fuzz target, the Windows tests and
// the benchmarks.
#pragma once

#include <stdint.h>

#include <string>
#include <vector>

#include "archive.h"

namespace sfxtest {

struct Chunk {
  uint32_t rawLength;
  uint32_t compressedLength;
};

struct Restored {
  ArchiveEntry header;
  std::string name;
  std::string content;
  // The frames of a compressed entry, once the whole archive restored; none when stored.
  std::vector<Chunk> chunks;
};

struct RunResult {
  uint32_t code = 0;        // what the extractor ends with; 0 after the terminator
  SfxOptions options{};     // the record, once the archive was located
  bool scanned = false;     // the scan accepted the archive
  int64_t totalSize = 0;
  std::vector<Restored> entries;  // every entry begun, in order
  uint64_t reads = 0;       // read calls reaching the file
  uint64_t archiveOffset = 0;
  uint64_t end = 0;         // just past the terminator, once the whole archive restored
};

// Aborts the process (as a fuzzer finding) when the reader breaks one of its promises:
// an unsafe name reaching the sink, more content than an entry's size, content written
// for an entry that was not begun.
RunResult RunArchive(const std::string& file);

// The options record of an SFX file and where it lies, as the extractor locates them;
// false when the file carries no archive.
bool ReadOptionsRecord(const std::string& file, SfxOptions& options, uint64_t* offset = nullptr);

}  // namespace sfxtest
