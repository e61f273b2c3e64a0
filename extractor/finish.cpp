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
  bool blank = true;
  for (const char* p = folder; *p; ++p)
    if (static_cast<unsigned char>(*p) > ' ') blank = false;
  if (blank) return;
  // The launched program may have put a link where this run made a folder.
  DWORD attributes = GetFileAttributesA(folder);
  if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY) ||
      (attributes & FILE_ATTRIBUTE_REPARSE_POINT))
    return;
  CopyText(gWalkPath, folder, PathCapacity - 1);
  EnsureBackslash(gWalkPath, PathCapacity);
  Visit();
}

void CleanUp() {
  if (gOptions.ExtractionMode != 1 || gOptions.DeleteMode == 2) return;
  for (int i = 0; i < gExtractedFiles.count; ++i) RemoveOrSchedule(gExtractedFiles.items[i], false);
  for (int i = gCreatedFolders.count - 1; i >= 0; --i) RemoveFolderTree(gCreatedFolders.items[i]);
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
  // A file cut short by the failure is still open; it must be closed to be deleted.
  if (gTargetFile != INVALID_HANDLE_VALUE) CloseHandle(gTargetFile);
  gTargetFile = INVALID_HANDLE_VALUE;
  CleanUp();
  if (code == 0 && gHelperPath[0]) StartSelfDelete();
  if (gMutex) CloseHandle(gMutex);
  ExitProcess(code ? code : gExitCode);
}
