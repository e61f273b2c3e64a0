// The run phase: open the folder or launch the target with its parameters and working
// directory, wait for it and take over its exit code.
#include <windows.h>
#include <shellapi.h>

#include "sfxhead.h"
#include "u_args.h"
#include "u_params.h"
#include "window.h"

namespace {

// `text` in UTF-8, in a block from malloc.
char* Utf8Of(const WCHAR* text) {
  int length = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
  char* utf8 = static_cast<char*>(Allocated(length + 1));
  utf8[WideCharToMultiByte(CP_UTF8, 0, text, -1, utf8, length, nullptr, nullptr)] = 0;
  return utf8;
}

void Launch() {
  if (!gLaunchTarget[0]) FailWithOwnPath(ERROR_INVALID_PARAMETER);
  // Stored parameters and own arguments meet in UTF-8, which holds both whole.
  char* built = BuildParameterString(Utf8Of(OptionText(true)), SkipProgramName(Utf8Of(GetCommandLineW())));
  if (!built) FailWithOwnPath(ERROR_NOT_ENOUGH_MEMORY);
  WCHAR* parameters = Widened(built, CP_UTF8);

  static WCHAR ownFolder[PathCapacity];
  const WCHAR* directory = gExtractionFolder;
  if (gOptions.WorkingDirectory == 1) {
    CopyText(ownFolder, gOwnPath, PathCapacity);
    WCHAR* cut = ownFolder;
    for (WCHAR* p = ownFolder; *p; ++p)
      if (*p == '\\') cut = p + 1;
    *cut = 0;
    directory = ownFolder;
  } else if (gOptions.WorkingDirectory == 2) {
    directory = nullptr;
  }

  SHELLEXECUTEINFOW info{};
  info.cbSize = sizeof info;
  info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI;
  info.lpVerb = L"open";
  info.lpFile = gLaunchTarget;
  info.lpParameters = parameters;
  info.lpDirectory = directory;
  info.nShow = SW_SHOWNORMAL;
  gExitCode = 0;
  // The program and every process it starts share a job with this one, so that clean-up
  // waits for the whole tree. With delete mode never, and where no job can be made or
  // joined (an outer job that forbids it), only the program itself is waited for.
  HANDLE job = gOptions.DeleteMode == 2 ? nullptr : CreateJobObjectA(nullptr, nullptr);
  if (job && !AssignProcessToJobObject(job, GetCurrentProcess())) job = nullptr;
  // The target, written by this run or kept, is held through the start as well: one that
  // another program holds open for writing is never launched.
  HANDLE target = OpenPath(gLaunchTarget, GENERIC_READ, FILE_SHARE_READ, 0);
  if (target == INVALID_HANDLE_VALUE) FailWithLastError(gLaunchTarget);
  BOOL launched = ShellExecuteExW(&info);
  DWORD code = GetLastError();
  CloseHandle(target);
  ReleaseHeld();
  if (!launched) {
    // The shell's own result stands in when it left no error code.
    if (code == 0) code = static_cast<DWORD>(reinterpret_cast<INT_PTR>(info.hInstApp));
    FinishSfx(gLaunchTarget, code ? code : ERROR_GEN_FAILURE);
  }
  if (info.hProcess) {
    WaitForSingleObject(info.hProcess, INFINITE);
    DWORD exitCode = 0;
    if (GetExitCodeProcess(info.hProcess, &exitCode)) gExitCode = exitCode;
    CloseHandle(info.hProcess);
  }
  JOBOBJECT_BASIC_ACCOUNTING_INFORMATION counts;
  while (job &&
         QueryInformationJobObject(job, JobObjectBasicAccountingInformation, &counts, sizeof counts, nullptr) &&
         counts.ActiveProcesses > 1)
    Sleep(100);
}

}  // namespace

void RunPhase() {
  DestroyExtractorWindow();
  if (gOptions.ExtractionMode == 0) {
    if (gOptions.OpenFolder) ShellExecuteW(nullptr, L"explore", gExtractionFolder, nullptr, nullptr, SW_SHOWNORMAL);
  } else if (gOptions.ExtractionMode == 1) {
    Launch();
  }
  FinishSfx(L"", 0);
}
