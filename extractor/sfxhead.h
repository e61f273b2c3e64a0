// The extractor's units and the process-wide state they share. Created at start-up,
// never freed: FinishSfx is the only place that tears anything down.
#pragma once

#include <windows.h>

#include "archive.h"
#include "sfxstate.h"
#include "tinyrt.h"

// Paths are UTF-16, as long as the system takes them (see LongPath): an extraction folder
// and a name of MaxNameUnits below it. A longer path is refused, never overrun.
constexpr int PathCapacity = 32768;

// What a file or folder is, whatever path leads to it (volume serial and file index):
// clean-up deletes only what still is what the run wrote, in a folder that still is the
// one it wrote into.
struct FileId {
  DWORD volume;
  DWORD indexHigh;
  DWORD indexLow;
};

inline FileId IdOf(const BY_HANDLE_FILE_INFORMATION& info) {
  return FileId{info.dwVolumeSerialNumber, info.nFileIndexHigh, info.nFileIndexLow};
}

// Sets what can be set of `attributes` (none: FILE_ATTRIBUTE_NORMAL) and, unless null, the
// last write time, through the handle.
void SetBasicInformation(HANDLE handle, DWORD attributes, const FILETIME* written);

// A full path with the identity of what it named when recorded and of the folder it sits
// in (a folder's own entry uses only the first). Recorded only when clean-up will run.
struct PathEntry {
  WCHAR* path;
  FileId id;
  FileId folder;
};

struct PathList {
  PathEntry* entries;
  int count;
  int capacity;
};

// `items` with room for one more of `count` items of `size` bytes: grown by doubling.
void* Grown(void* items, int count, int& capacity, size_t size);
void AddPath(PathList& list, const WCHAR* path, const FileId& id, const FileId& folder);

// `path` as the file system calls take it: from MAX_PATH characters on, a full path behind
// "\\?\" (a UNC path behind "\\?\UNC\"), which the system takes up to 32,767
// characters long and as it is, without parsing; shorter ones as they are. One buffer: each
// result is used before the next is asked for.
const WCHAR* LongPath(const WCHAR* path);

// Opens what exists at `path` (in its LongPath form) as CreateFileW does.
HANDLE OpenPath(const WCHAR* path, DWORD access, DWORD share, DWORD flags);
// A block of `size` bytes from malloc; the run ends when memory runs out.
void* Allocated(size_t size);

// `length` bytes of `text` (-1: up to its NUL) in `codePage` (CP_ACP or CP_UTF8) as UTF-16,
// NUL-terminated, in a block from Allocated.
WCHAR* Widened(const char* text, UINT codePage, int length = -1);
// The custom folder, or with `parameters` the launch parameters, as UTF-16 in a block from
// malloc: a strong archive's own texts in UTF-8 when it carries them, else the options
// record's in the ANSI code page, converted as the system's A functions convert.
WCHAR* OptionText(bool parameters);

extern WCHAR gOwnPath[PathCapacity];
extern HANDLE gOwnFile;
extern ArchiveFile gArchive;
extern uint64_t gArchiveOffset;
extern WCHAR gExtractionFolder[PathCapacity];  // ends with a backslash
extern WCHAR gLaunchTarget[PathCapacity];      // empty when no launch entry was reached
extern WCHAR gHelperPath[PathCapacity];        // empty when no helper entry was reached
extern PathList gExtractedFiles;              // only files this run wrote
extern PathList gCreatedFolders;              // without trailing backslash, creation order
extern HANDLE gMutex;
extern DWORD gExitCode;                       // the launched program's exit code

// Ends the run: reports the code with the subject unless silent, cleans up, hands over to
// the self-delete helper after a regular end (code 0), ends the process.
[[noreturn]] void FinishSfx(const WCHAR* subject, DWORD code);
// Ends with `subject` and the last error, or ERROR_HANDLE_EOF when the system recorded
// none, so a failure never ends as a success.
[[noreturn]] void FailWithLastError(const WCHAR* subject);
// The failure guard: FailWithLastError for the own path.
[[noreturn]] void FailureGuard();
// FinishSfx for the own path, the subject of whatever concerns the SFX file as a whole.
[[noreturn]] void FailWithOwnPath(DWORD code);

// The system's message text for `code`, without trailing blanks, line breaks and full stops.
void SystemText(DWORD code, WCHAR (&text)[256]);

// Copies a text of at most `capacity` - 1 characters and terminates it.
void CopyText(WCHAR* to, const WCHAR* from, int capacity);
// Appends a backslash unless the path (of PathCapacity) ends with one.
void EnsureBackslash(WCHAR* path);

void ExtractEntries();
// For FinishSfx: removes the file being written, which a failed entry never leaves behind,
// and lets go of the folders the extraction holds, so clean-up can remove them.
void AbandonExtraction();
// Closes the files held since their verification: the launched program has started, or
// clean-up is about to delete them.
void ReleaseHeld();
[[noreturn]] void RunPhase();
