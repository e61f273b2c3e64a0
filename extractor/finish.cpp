// The single exit of the extractor: report, clean up, hand over to the self-delete
// helper, release the mutex, end the process.
#include "sfxhead.h"

#include <shellapi.h>
#include "window.h"

void SystemText(DWORD code, char (&text)[256]) {
  DWORD length = FormatMessageA(
      FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_ARGUMENT_ARRAY, nullptr,
      code, 0, text, sizeof text, nullptr);
  if (length >= sizeof text) length = 0;
  text[length] = 0;
  while (length > 0 && (static_cast<unsigned char>(text[length - 1]) <= ' ' || text[length - 1] == '.'))
    text[--length] = 0;
}

namespace {

void ShowError(const char* subject, DWORD code) {
  char text[256];
  SystemText(code, text);
  char* message = static_cast<char*>(malloc(lstrlenA(subject) + sizeof text + 8));
  if (!message) return;
  const char* marker = nullptr;
  for (const char* p = text; p[0] && !marker; ++p)
    if (p[0] == '%' && p[1] == '1') marker = p;
  if (marker) {
    // The subject takes the place of the first insert; later ones stay as they are.
    int before = static_cast<int>(marker - text);
    memcpy(message, text, before);
    lstrcpyA(message + before, subject);
    lstrcatA(message, marker + 2);
  } else {
    lstrcpyA(message, subject);
    lstrcatA(message, "\r\n\r\n");
    lstrcatA(message, text);
  }
  MessageBoxA(nullptr, message, nullptr, MB_ICONERROR | MB_TOPMOST);
  free(message);
}

// One path buffer for every level of the walk.
char gWalkPath[PathCapacity];

void RemoveOrSchedule(const char* path, bool folder) {
  SetFileAttributesA(path, FILE_ATTRIBUTE_NORMAL);
  if (gOptions.DeleteMode == 0) {
    if (folder)
      RemoveDirectoryA(path);
    else
      DeleteFileA(path);
  } else if (gOptions.DeleteMode == 1) {
    MoveFileExA(path, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
  }
}

// gWalkPath ends with a backslash. Subfolders go first, deepest first. Never follows a
// junction or symbolic link: what lies behind one was not made by this run.
void Visit() {
  int length = lstrlenA(gWalkPath);
  if (length + 4 < PathCapacity) {
    lstrcpyA(gWalkPath + length, "*.*");
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(gWalkPath, &found);
    gWalkPath[length] = 0;
    if (search != INVALID_HANDLE_VALUE) {
      do {
        DWORD attributes = found.dwFileAttributes;
        const char* name = found.cFileName;
        if (attributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | AttributeVolumeLabel |
                          FILE_ATTRIBUTE_REPARSE_POINT))
          continue;
        if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) continue;
        if (name[0] == '.' && (!name[1] || (name[1] == '.' && !name[2]))) continue;
        int nameLength = lstrlenA(name);
        if (length + nameLength + 6 >= PathCapacity) continue;
        lstrcpyA(gWalkPath + length, name);
        lstrcatA(gWalkPath, "\\");
        Visit();
        gWalkPath[length] = 0;
      } while (FindNextFileA(search, &found));
      FindClose(search);
    }
  }
  gWalkPath[length - 1] = 0;
  RemoveOrSchedule(gWalkPath, true);
  gWalkPath[length - 1] = '\\';
}

void RemoveFolderTree(const char* folder) {
  CopyText(gWalkPath, folder, PathCapacity - 1);
  EnsureBackslash(gWalkPath, PathCapacity);
  Visit();
}

// The launched program may have replaced a folder of this run by a link, or by another
// folder: nothing is deleted in a folder that is not still the one the run wrote into.
bool IsStillFolder(const char* path, const FolderId& recorded) {
  FolderId now;
  return GetFolderId(path, now) && now.volume == recorded.volume && now.indexHigh == recorded.indexHigh &&
         now.indexLow == recorded.indexLow;
}

void CleanUp() {
  if (gOptions.ExtractionMode != 1 || gOptions.DeleteMode == 2) return;
  // Files come folder by folder: each folder is asked once for all of its files (a full
  // path always has a backslash, so the first file never matches the empty start).
  char folder[PathCapacity] = "";
  bool folderKept = false;
  for (int i = 0; i < gExtractedFiles.count; ++i) {
    const char* file = gExtractedFiles.items[i];
    int cut = 0;
    for (const char* p = file; *p; p = CharNextA(p))
      if (*p == '\\') cut = static_cast<int>(p - file);
    if (cut != lstrlenA(folder) || memcmp(file, folder, cut) != 0) {
      CopyText(folder, file, cut + 1);
      folderKept = IsStillFolder(folder, gExtractedFiles.folders[i]);
    }
    if (folderKept) RemoveOrSchedule(file, false);
  }
  for (int i = gCreatedFolders.count - 1; i >= 0; --i)
    if (IsStillFolder(gCreatedFolders.items[i], gCreatedFolders.folders[i])) RemoveFolderTree(gCreatedFolders.items[i]);
}

void StartSelfDelete() {
  char parameters[PathCapacity + 3];
  lstrcpyA(parameters, "\"");
  lstrcatA(parameters, gOwnPath);
  lstrcatA(parameters, "\"");
  ShellExecuteA(nullptr, "open", gHelperPath, parameters, nullptr, SW_HIDE);
  MoveFileExA(gHelperPath, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
}

}  // namespace

void FinishSfx(const char* subject, DWORD code) {
  if (code != 0 && !gOptions.SilentMode) {
    ShowError(subject, code);
    DestroyExtractorWindow();
  }
  // The part written under a temporary name is still open; it must be closed to be deleted.
  if (gTargetFile != INVALID_HANDLE_VALUE) CloseHandle(gTargetFile);
  gTargetFile = INVALID_HANDLE_VALUE;
  if (gPartPath[0]) DeleteFileA(gPartPath);
  CleanUp();
  if (code == 0 && gHelperPath[0]) StartSelfDelete();
  if (gMutex) CloseHandle(gMutex);
  ExitProcess(code ? code : gExitCode);
}
