// The extractor's units and the process-wide state they share. Created at start-up,
// never freed: FinishSfx is the only place that tears anything down.
#pragma once

#include <windows.h>

#include "archive.h"
#include "sfxstate.h"
#include "tinyrt.h"

// Long enough for a folder of MAX_PATH characters, a name of MaxEntryNameLength and the
// walk's subfolders; longer paths are refused by the system calls, never overrun.
constexpr int PathCapacity = 1024;

// What a folder is, whatever path leads to it: clean-up deletes only in a folder that is
// still the one the run wrote into.
struct FolderId {
  DWORD volume;
  DWORD indexHigh;
  DWORD indexLow;
};

// The identity of a plain folder; false for a missing path, a file, or a link (a reparse
// point, which is how Wine also shows a host link to a folder).
bool GetFolderId(const char* path, FolderId& id);

// Full paths in the order they were added, each with a folder identity: a file's with
// that of the folder it sits in, a folder's with its own. Identities are recorded only
// when clean-up will need them, and are zero otherwise.
struct PathList {
  char** items;
  FolderId* folders;
  int count;
  int capacity;
};

void AddPath(PathList& list, const char* path, const FolderId& folder);

extern char gOwnPath[PathCapacity];
extern HANDLE gOwnFile;
extern ArchiveFile gArchive;
extern uint64_t gArchiveOffset;
extern char gExtractionFolder[PathCapacity];  // ends with a backslash
extern char gLaunchTarget[PathCapacity];      // empty when no launch entry was reached
extern char gHelperPath[PathCapacity];        // empty when no helper entry was reached
extern PathList gExtractedFiles;              // only files this run wrote
extern PathList gCreatedFolders;              // without trailing backslash, creation order
extern HANDLE gTargetFile;                    // the file being written, closed by FinishSfx
// The temporary name the current file is written under until its checksum verified;
// empty when none. FinishSfx removes that file, so a failed entry leaves nothing behind.
extern char gPartPath[PathCapacity];
extern HANDLE gMutex;
extern DWORD gExitCode;                       // the launched program's exit code

// Ends the run: reports the code with the subject unless silent, cleans up, hands over to
// the self-delete helper after a regular end (code 0), ends the process.
[[noreturn]] void FinishSfx(const char* subject, DWORD code);
// The failure guard: ends with the own path and the last error, or ERROR_HANDLE_EOF when
// the system recorded none, so a failure never ends as a success.
[[noreturn]] void FailureGuard();

// The system's message text for `code`, without trailing blanks, line breaks and full stops.
void SystemText(DWORD code, char (&text)[256]);

// Copies a text of at most `capacity` - 1 characters and terminates it.
void CopyText(char* to, const char* from, int capacity);
// Appends a backslash unless the text ends with one (a double-byte trail byte 0x5C does not count).
void EnsureBackslash(char* path, int capacity);

void ExtractEntries();
[[noreturn]] void RunPhase();
