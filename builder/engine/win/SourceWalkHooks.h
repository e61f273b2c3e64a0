// How the Windows walk lists a folder: FindFirstFileW and FindNextFileW, unless a build's
// environment gives other calls. Tests give a listing that fails, as a folder nobody may
// list cannot be made where they run as root.
#pragma once

#include <windows.h>

struct FolderListing {
  HANDLE(WINAPI* First)(LPCWSTR pattern, LPWIN32_FIND_DATAW found);
  BOOL(WINAPI* Next)(HANDLE search, LPWIN32_FIND_DATAW found);
};
