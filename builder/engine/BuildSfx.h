// The build job: turns a source folder and a set of options into an SFX file. Portable: it
// shows nothing and reads no global; what differs per platform sits behind the seams of
// ovfile.h (files and paths), SourceWalk.h (listing a folder), ArchiveName.h (names in the
// archive's code page) and LocalTime.h (file times as DOS times).
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <string>
#include <vector>

// A read-only view of bytes the caller keeps alive.
struct ByteSpan {
  const void* data = nullptr;
  size_t size = 0;
};

// The inputs of one build: the options as the record stores them, then what the front end
// decides around them.
struct BuildInputs {
  std::string Source;
  std::string Target;
  std::string ExecutableFile;
  std::string CmdParameters;
  std::string CustomFolder;
  uint8_t ExtractionMode = 0;
  uint8_t ExtractionFolder = 0;
  uint8_t OpenFolder = 0;
  uint8_t Compressed = 1;  // 1 from every builder; 0 stores the contents as they are
  uint8_t OneInstance = 0;
  uint8_t SilentMode = 0;
  uint8_t SelfDeleteMode = 0;
  uint8_t DeleteMode = 0;
  uint8_t WorkingDirectory = 0;
  uint8_t UACAutoElevation = 0;  // not stored in the record: selects the manifest
  uint8_t OverwriteMode = 0;
  // 1: the strong layout (one LZMA stream of all files in blocks, identical files stored
  // once, 64-bit sizes), marked in the record as Compressed 2; 0: Compressed as given.
  uint8_t StrongCompression = 0;
  // The parameters and the custom folder in UTF-8, as the strong layout carries them beside
  // the record's code-page copies, where the front end has them so (the Linux arguments,
  // the wide command line). The build then keeps a code-page copy only where the code page
  // holds the text and the record's field has room for it, and leaves it empty elsewhere.
  // Empty: the code-page texts above, converted.
  std::string CmdParametersUtf8;
  std::string CustomFolderUtf8;

  // The file whose icon and version information the head takes over; empty for none.
  std::string ResourceSource;
  // The instance id is derived from the content instead of drawn.
  bool Reproducible = false;
  // Every stored time later than LatestTime (a file time: 100 ns units since 1601, UTC)
  // is stored as LatestTime.
  bool ClampTimes = false;
  uint64_t LatestTime = 0;
  // The code page of the names in the archive; 0 is the system's own (Windows only).
  uint32_t CodePage = 0;
  // How many threads compress: 0 is one per core, 1 compresses on the building thread.
  // The SFX file is the same byte for byte whatever the number.
  unsigned Threads = 0;
};

// What a build carries into every SFX file besides the source folder.
struct SfxHeads {
  ByteSpan Head;
  ByteSpan SelfDelete;
  ByteSpan UacManifest;
};

// Where a build reports its progress and learns that it is to stop: the progress window,
// the Linux progress line, or a test's recorder.
class BuildProgress {
 public:
  virtual ~BuildProgress() = default;
  virtual void SetSource(const std::string& text) = 0;  // the item being packed
  virtual void SetTarget(const std::string& text) = 0;  // the SFX file
  virtual void SetFileBar(int position) = 0;            // the item's share done, 0..1000
  virtual void SetTotalBar(int position) = 0;           // the whole build's, 0..1000
  virtual void SetSizeText(const std::string& text) = 0;  // bytes done of the total
  // Lets pending window messages through (repainting, the Cancel button).
  virtual void ProcessMessages() = 0;
  // Read before every item and every chunk (and while the build waits for compressing
  // threads): true ends the build and deletes the target. Every call of this observer
  // comes from the thread that runs BuildSfx.
  virtual bool Cancelled() { return false; }
};

constexpr int ProgressBarMaximum = 1000;

// The largest SFX file of the default layout a build may write. The extractor reads it
// with signed 32-bit positions, so no such file may reach 2 GiB; tests lower it to reach it
// cheaply. The strong layout is read with 64-bit positions and knows no such limit.
constexpr uint64_t SfxSizeLimitDefault = 0x7FFFFFFF;
// The raw bytes of a block of the strong layout, chosen by measurement (README); tests
// lower it to cross block boundaries cheaply.
constexpr uint32_t StrongBlockSizeDefault = 32u << 20;

struct FolderListing;  // SourceWalk.h

// Everything a build uses besides its inputs.
struct BuildEnvironment {
  SfxHeads Heads;
  BuildProgress* Progress = nullptr;
  uint64_t SizeLimit = SfxSizeLimitDefault;
  uint32_t StrongBlockSize = StrongBlockSizeDefault;  // at most StrongMaxBlockSize
  // How the walk lists a folder; null is the system's own way.
  const FolderListing* Listing = nullptr;
};

// What a build that ran to its end (or was cancelled) gives back.
struct BuildResult {
  bool Cancelled = false;  // the target has been deleted
  uint64_t Written = 0;    // the size of the SFX file
  std::vector<std::string> SkippedLinks;  // folder links the walk did not descend into
};

// The longest entry name (its path below the source, in UTF-8) of the strong layout: the
// head extracts it below a folder of up to MAX_PATH characters within the 32,767 units of a
// long Windows path.
constexpr size_t StrongMaxEntryNameBytes = 32000;

// The longest texts the options record carries, without their NUL.
constexpr size_t MaxCmdParametersLength = 127;
constexpr size_t MaxCustomFolderLength = 260;

// The text without the blanks and control characters (codes up to 32) at either end, as
// every build reads the texts it is given.
std::string Trim(const std::string& text);

// Trims the five texts and makes the paths full, as every build sees them. The custom
// folder is not expanded: it may hold %VARIABLE% references only the extractor resolves.
void NormalizeInputs(BuildInputs& inputs);

// Why normalised inputs cannot be built, as the message that says so; empty when they can.
// Only what the paths and texts tell: what the walk finds, the build refuses.
std::string InputsRefusal(const BuildInputs& inputs);

// SOURCE_DATE_EPOCH (`value`, null when unset) as a file time: a decimal count of seconds
// since 1970 (UTC) that falls within the DOS dates an SFX file stores. False when it is not
// set; an EInputRefused naming the value when it is set to anything else.
bool ParseSourceDateEpoch(const char* value, uint64_t& fileTime);

// Runs one build of normalised inputs. Failures are raised as exceptions carrying the
// system's standard texts; a failure after the target was created removes it. What the
// walk finds unfit (a name, a size, an executable file it does not pack) is raised as
// EInputRefused before the target is touched.
BuildResult BuildSfx(const BuildInputs& inputs, const BuildEnvironment& environment);

// The folder links a build did not follow, one a line after a heading; empty when none.
std::string SkippedLinksText(const std::vector<std::string>& links);
