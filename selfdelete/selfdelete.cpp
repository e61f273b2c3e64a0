// Deletes a self-destructing SFX file once the SFX process has let go of it. Started
// hidden by the extractor with the SFX file's quoted path; it never reports anything and
// always ends with exit code 0.
#include <windows.h>

#include "tinyrt.h"
#include "u_args.h"

namespace {

constexpr int DeleteAttempts = 1000;
constexpr DWORD PauseMilliseconds = 20;

// True when the path names an existing file; folders do not count.
bool FileExists(const char* path) {
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA(path, &found);
  if (search == INVALID_HANDLE_VALUE) return false;
  FindClose(search);
  return (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

// The SFX file is locked while its process runs: retry until it is gone or patience ends.
void DeleteWhenReleased(const char* path) {
  for (int attempt = 0; attempt < DeleteAttempts; ++attempt) {
    SetFileAttributesA(path, FILE_ATTRIBUTE_NORMAL);
    if (DeleteFileA(path)) return;
    Sleep(PauseMilliseconds);
  }
}

}  // namespace

extern "C" __attribute__((force_align_arg_pointer)) void ProgramEntry() {
  RestrictDllSearch();
  char path[MAX_PATH];
  const char* args = SkipProgramName(GetCommandLineA());
  size_t length = 0;
  if (NextArgument(args, path, sizeof path, &length) && length < sizeof path && FileExists(path))
    DeleteWhenReleased(path);
  ExitProcess(0);
}
