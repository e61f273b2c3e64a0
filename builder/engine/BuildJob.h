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
  tfile(const std::string& prefix, const std::string& name, const std::string& path, uint32_t time, uint32_t size,
        uint32_t attr);

  uint32_t Time;  // DOS date (high word) and time (low word) of the last write, local time
  int32_t Size;
  uint32_t Attr;
  std::string Name;  // as the archive stores it: the archive's code page, '\' between parts
  std::string Path;  // the full path as the system spells it

  bool IsFolder() const { return (Attr & 0x10) != 0; }
};

struct BuildJob {
  BuildInputs in;  // normalised
  const BuildEnvironment* environment = nullptr;
  std::vector<std::unique_ptr<tfile>> entries;
  int64_t totalSize = 0;
  int64_t doneSize = 0;
  OvFile target;
  uint64_t written = 0;  // size of the target so far
  ChunkCompressor compressor;
  std::string longSource;    // Source in the form FullLongPath gives
  std::string launchTarget;  // in launch mode, the executable file as FullLongPath gives it
  std::vector<std::string> skippedLinks;  // folder links the walk did not descend into
  // A reproducible build derives the instance id from `contentHash`: everything written
  // from the options record (its id still zero) onwards.
  std::unique_ptr<Sha256> contentHash;
  uint64_t optionsPosition = 0;

  BuildProgress* Progress() const { return environment ? environment->Progress : nullptr; }
  bool Cancelled() const { return Progress() && Progress()->Cancelled(); }
  // Appends to the target; refuses to let it reach the size limit.
  void Write(const void* data, uint32_t length);
};

// Sets the long forms that decide which item is the launch target.
void PrepareLaunchTarget(BuildJob& job);
void CollectEntries(BuildJob& job, const std::string& prefix, const std::string& folder);
// The item is the target of this build (left in the source by an earlier one).
bool IsTarget(const BuildJob& job, const tfile& item);
bool IsLaunchTarget(const BuildJob& job, const tfile& item);
void WriteEntry(BuildJob& job, const tfile& item);
void WriteSelfDeleteEntry(BuildJob& job);
void ReportProgress(BuildJob& job, int64_t current, int64_t size);
