// The build job: turns a source folder and a set of options into an SFX file.
#pragma once

#include <stdint.h>

#include <string>

#include "ovutils.h"

// The inputs of one build, in the order the callers hand them over.
struct BuildInputs {
  std::string Source;
  std::string Target;
  std::string ExecutableFile;
  std::string CmdParameters;
  std::string CustomFolder;
  uint8_t ExtractionMode = 0;
  uint8_t ExtractionFolder = 0;
  uint8_t OpenFolder = 0;
  uint8_t Compressed = 1;
  uint8_t OneInstance = 0;
  uint8_t SilentMode = 0;
  uint8_t SelfDeleteMode = 0;
  uint8_t DeleteMode = 0;
  uint8_t WorkingDirectory = 0;
  uint8_t UACAutoElevation = 0;  // not stored in the record: selects the manifest
  uint8_t OverwriteMode = 0;
};

// Where a build reports its progress: the progress window, or a test's recorder. The
// build job reports only while `gProgress` is set.
class BuildProgress {
 public:
  virtual ~BuildProgress() = default;
  virtual void SetSource(const std::string& text) = 0;  // lsource
  virtual void SetTarget(const std::string& text) = 0;  // ltarget
  virtual void SetFileBar(int position) = 0;            // pbfile, 0..1000
  virtual void SetTotalBar(int position) = 0;           // pbtotal, 0..1000
  virtual void SetSizeText(const std::string& text) = 0;  // lsize
  // Lets pending window messages through (repainting, the Cancel button).
  virtual void ProcessMessages() = 0;
};

constexpr int ProgressBarMaximum = 1000;

extern BuildProgress* gProgress;
// Set by the progress window's Cancel button; read before every item and every chunk.
extern bool BuildAbortFlag;

// The embedded resources, loaded once at start-up.
extern ResourceData SfxHeadData;
extern ResourceData SelfDeleteData;
extern ResourceData UacManifestData;
extern ResourceData UsageTextData;

// The largest SFX file a build may write. The extractor reads its own file with signed
// 32-bit positions, so no SFX file may reach 2 GiB; tests lower it to reach it cheaply.
constexpr uint64_t SfxSizeLimitDefault = 0x7FFFFFFF;
extern uint64_t SfxSizeLimit;

// How the walk lists a folder: FindFirstFileW and FindNextFileW. Tests put in a listing
// that fails, as a folder nobody may list cannot be made where they run as root.
struct FolderListing {
  HANDLE(WINAPI* First)(LPCWSTR pattern, LPWIN32_FIND_DATAW found);
  BOOL(WINAPI* Next)(HANDLE search, LPWIN32_FIND_DATAW found);
};
extern FolderListing gFolderListing;

// The full path with every short 8.3 part in its long form, so that two spellings of one
// file compare equal; a path that does not exist is only made full.
std::string FullLongPath(const std::string& path);

// True when a build of these inputs packs the executable file as its launch target: the
// walk collects it, compared as full long paths without regard to letter case, and it is
// not the target. Raises what the walk raises.
bool PacksExecutableFile(const BuildInputs& inputs);

// Seeds the generator of the builds' instance ids from the clock; once, at start-up.
void SeedInstanceIds();

// SOURCE_DATE_EPOCH as a file time when it is set: a decimal count of seconds since 1970
// (UTC) that falls within the DOS dates an SFX file stores. False when it is not set; an
// EInputRefused naming the value when it is set to anything else.
bool SourceDateEpoch(FILETIME& time);

// Runs one build. True when it ran to its end, false when it was cancelled (the target
// is then deleted). Failures are raised as exceptions carrying the system's standard texts.
bool BuildSfx(const BuildInputs& inputs);
