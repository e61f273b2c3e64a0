// The working state of one build, shared by the build job and the entry writer.
#pragma once

#include <stdint.h>

#include <memory>
#include <string>
#include <vector>

#include "BuildSfx.h"
#include "CompressChunk.h"
#include "Sha256.h"
#include "ovfile.h"

// One collected item of the source folder.
class tfile {
 public:
  // `Name` becomes prefix + the item's name; a folder's size is 0 whatever was reported.
  tfile(const std::string& prefix, const std::string& name, uint32_t time, uint32_t size, uint32_t attr);

  uint32_t Time;  // DOS date (high word) and time (low word) of the last write, local time
  int32_t Size;
  uint32_t Attr;
  std::string Name;

  bool IsFolder() const { return (Attr & 0x10) != 0; }
};

struct BuildJob {
  BuildInputs in;  // normalised
  std::vector<std::unique_ptr<tfile>> entries;
  int64_t totalSize = 0;
  int64_t doneSize = 0;
  OvFile target;
  uint64_t written = 0;  // size of the target so far
  ChunkCompressor compressor;
  std::string longSource;    // Source with its short parts in long form
  std::string launchTarget;  // in launch mode, the executable file as a full long path
  std::vector<std::string> skippedLinks;  // folder links the walk did not descend into
  // A reproducible build walks each folder in sorted order, clamps times later than
  // SOURCE_DATE_EPOCH when that is set, and derives the instance id from `contentHash`:
  // everything written from the options record (its id still zero) onwards.
  bool reproducible = false;
  bool clampTimes = false;
  FILETIME latestTime = {};
  std::unique_ptr<Sha256> contentHash;
  uint64_t optionsPosition = 0;

  // Appends to the target; refuses to let it reach SfxSizeLimit.
  void Write(const void* data, uint32_t length);
};

// Sets the long forms that decide which item is the launch target.
void PrepareLaunchTarget(BuildJob& job);
void CollectEntries(BuildJob& job, const std::string& prefix);
// The item is the target of this build (left in the source by an earlier one).
bool IsTarget(const BuildJob& job, const tfile& item);
bool IsLaunchTarget(const BuildJob& job, const tfile& item);
void WriteEntry(BuildJob& job, const tfile& item);
void WriteSelfDeleteEntry(BuildJob& job);
void ReportProgress(BuildJob& job, int64_t current, int64_t size);

// Compares two paths as the user's locale does, ignoring letter case.
bool SameText(const std::string& a, const std::string& b);
