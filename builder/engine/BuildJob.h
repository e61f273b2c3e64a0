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
#include "u_shared.h"

// One collected item of the source folder.
class tfile {
 public:
  // `Name` becomes prefix + the item's name; a folder's size is 0 whatever was reported.
  tfile(const std::string& prefix, const std::string& name, const std::string& path, const std::u16string& widePath,
        uint32_t time, uint64_t size, uint32_t attr);

  uint32_t Time;  // DOS date (high word) and time (low word) of the last write, local time
  int64_t Size;  // below 2 GiB in the default layout
  uint32_t Attr;
  std::string Name;  // as the archive stores it: the archive's code page (UTF-8 in the strong layout), '\' between parts
  std::string Path;  // the full path as the system spells it
  std::u16string WidePath;  // the same in UTF-16 where the system opens files by it (WidePathOf)

  bool IsFolder() const { return (Attr & 0x10) != 0; }
};

struct BuildJob {
  BuildJob(const BuildInputs& inputs, const BuildEnvironment& environment) : in(inputs), environment(environment) {}

  BuildInputs in;  // normalised
  const BuildEnvironment& environment;
  std::vector<std::unique_ptr<tfile>> entries;
  int64_t totalSize = 0;
  int64_t doneSize = 0;
  OvFile target;
  FileIdentity targetIdentity;  // the target's, once created; before, of what its path leads to
  uint64_t written = 0;  // size of the target so far
  ChunkCompressor compressor;
  // The content of the chunk being written, read into its start; left uninitialised, so
  // that only the pages a build reaches are ever touched.
  std::unique_ptr<uint8_t[]> chunkBuffer{new uint8_t[ChunkSize]};
  std::string longSource;    // Source in the form FullLongPath gives
  std::string launchTarget;  // in launch mode, the executable file as FullLongPath gives it
  std::vector<std::string> skippedLinks;  // folder links the walk did not descend into
  // A reproducible build derives the instance id from `contentHash`: everything written
  // from the options record (its id still zero) onwards.
  std::unique_ptr<Sha256> contentHash;
  uint64_t optionsPosition = 0;

  BuildProgress* Progress() const { return environment.Progress; }
  // Once true, true for the rest of the build: a build that stopped writing must not be
  // taken for a finished one.
  bool Cancelled() const {
    if (!cancelled && Progress()) cancelled = Progress()->Cancelled();
    return cancelled;
  }
  // Appends to the target; refuses to let it reach the size limit.
  void Write(const void* data, uint32_t length);
  // Appends one compressed chunk: raw length, compressed length, the zlib stream. The
  // content hash takes the compressed length as 0, as it sees it when the chunk is
  // written by WriteEntry, which fills the length in afterwards.
  void WriteCompressedChunk(uint32_t rawLength, const uint8_t* data, uint32_t length);

 private:
  // Raises the size limit's refusal when `length` more bytes would pass it.
  void CheckRoom(uint64_t length) const;
  mutable bool cancelled = false;
};

void CollectEntries(BuildJob& job, const std::string& prefix, const std::string& folder);
// The file is the target of this build, by whatever name it was reached: a target inside
// the source (left by an earlier build, or named through a link into it) is never read
// while it is written.
bool IsTarget(const BuildJob& job, const FileIdentity& file);
bool IsLaunchTarget(const BuildJob& job, const tfile& item);
// An entry's header followed by its name.
std::string EntryHeaderBytes(uint8_t kind, const std::string& name, int32_t size, uint32_t time, uint32_t attributes);
// The kind an item's entry has.
uint8_t EntryKindOf(const BuildJob& job, const tfile& item);
void WriteEntry(BuildJob& job, const tfile& item);
void WriteSelfDeleteEntry(BuildJob& job);
// The thread count a build uses for `requested` (0: one per core).
unsigned CompressingThreads(unsigned requested);
// The bytes of content a build with `threads` compressing threads holds at most, read
// ahead or compressed and waiting for their turn, beyond a single larger item.
uint64_t ReadAheadBudget(unsigned threads);
// Writes every entry, in archive order, with `threads` threads compressing the chunks;
// the same bytes as WriteEntry for each.
void WriteEntriesInParallel(BuildJob& job, unsigned threads);
// Writes the strong layout's archive after the options record: header, directory, blocks.
void WriteStrongArchive(BuildJob& job, unsigned threads);
void ReportProgress(BuildJob& job, int64_t current, int64_t size);
