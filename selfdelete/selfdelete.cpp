// Deletes a self-destructing SFX file once the SFX process has let go of it. Started
// hidden by the extractor with the SFX file's quoted path; it never reports anything and
// always ends with exit code 0.
#include <windows.h>

#include "tinyrt.h"
#include "u_args.h"

namespace {

constexpr int DeleteAttempts = 1000;
constexpr DWORD PauseMilliseconds = 20;

// Any path Windows can name, in UTF-16 units.
constexpr int PathUnits = 32768;

// True when the path names an existing file; folders do not count.
bool FileExists(const WCHAR* path) {
  DWORD attributes = GetFileAttributesW(path);
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

// The SFX file is locked while its process runs: retry until it is gone or patience ends.
void DeleteWhenReleased(const WCHAR* path) {
  for (int attempt = 0; attempt < DeleteAttempts; ++attempt) {
    SetFileAttributesW(path, FILE_ATTRIBUTE_NORMAL);
    if (DeleteFileW(path)) return;
    Sleep(PauseMilliseconds);
  }
}

}  // namespace

extern "C" __attribute__((force_align_arg_pointer)) void ProgramEntry() {
  RestrictDllSearch();
  // The command line in UTF-8, which keeps every name whole and its quotes where they were.
  static char line[3 * PathUnits], path[3 * PathUnits];
  static WCHAR wide[PathUnits + 4];
  size_t length = 0;
  if (!WideCharToMultiByte(CP_UTF8, 0, GetCommandLineW(), -1, line, sizeof line, nullptr, nullptr) ||
      !NextArgument(SkipProgramName(line), path, sizeof path, &length) || length >= sizeof path)
    ExitProcess(0);
  // A path from a drive letter in the form no length limits; a network path as it came.
  WCHAR* at = wide;
  if (path[0] && path[1] == ':') {
    wide[0] = wide[1] = wide[3] = '\\';
    wide[2] = '?';
    at += 4;
  }
  if (MultiByteToWideChar(CP_UTF8, 0, path, -1, at, PathUnits) && FileExists(wide)) DeleteWhenReleased(wide);
  ExitProcess(0);
}
