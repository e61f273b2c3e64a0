// The single exit of the extractor: report, clean up, hand over to the self-delete
// helper, release the mutex, end the process.
#include "sfxhead.h"

#include <shellapi.h>
#include "window.h"

void SystemText(DWORD code, WCHAR (&text)[256]) {
  DWORD length = FormatMessageW(
      FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_ARGUMENT_ARRAY, nullptr,
      code, 0, text, 256, nullptr);
  if (length >= 256) length = 0;
  text[length] = 0;
  while (length > 0 && (text[length - 1] <= ' ' || text[length - 1] == '.')) text[--length] = 0;
}

namespace {

void ShowError(const WCHAR* subject, DWORD code) {
  WCHAR text[256];
  SystemText(code, text);
  WCHAR* message = static_cast<WCHAR*>(malloc((lstrlenW(subject) + 264) * sizeof(WCHAR)));
  if (!message) return;
  const WCHAR* marker = nullptr;
  for (const WCHAR* p = text; p[0] && !marker; ++p)
    if (p[0] == '%' && p[1] == '1') marker = p;
  if (marker) {
    // The subject takes the place of the first insert; later ones stay as they are.
    int before = static_cast<int>(marker - text);
    memcpy(message, text, before * sizeof(WCHAR));
    CopyText(message + before, subject, PathCapacity);
    CopyText(message + lstrlenW(message), marker + 2, 256);
  } else {
    wsprintfW(message, L"%s\r\n\r\n%s", subject, text);
  }
  MessageBoxW(nullptr, message, nullptr, MB_ICONERROR | MB_TOPMOST);
  free(message);
}

bool SameId(const FileId& a, const FileId& b) {
  return a.volume == b.volume && a.indexHigh == b.indexHigh && a.indexLow == b.indexLow;
}

// Removes (or schedules for removal at restart) a file or folder that still is what the
// run recorded, `recorded` (null for a folder the launched program made in one of the
// run's). Opened at the name itself, never through a link there, and changed only through
// that handle. Wine opens a link's target whatever the flags: the identity, or for a
// program's folder the kind, is what refuses it there.
void RemoveOrSchedule(const WCHAR* path, const FileId* recorded, bool folder) {
  bool now = gOptions.DeleteMode == 0;
  HANDLE handle = OpenPath(path, (now ? DELETE : 0) | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES,
                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                           FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS);
  if (handle == INVALID_HANDLE_VALUE) return;
  BY_HANDLE_FILE_INFORMATION info;
  bool ours = GetFileInformationByHandle(handle, &info) && !(info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) &&
              !(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == !folder && (!recorded || SameId(IdOf(info), *recorded));
  if (ours) {
    // Cleared first, so that read-only items can go.
    SetBasicInformation(handle, 0, nullptr);
    FILE_DISPOSITION_INFO drop{TRUE};
    if (now) SetFileInformationByHandle(handle, FileDispositionInfo, &drop, sizeof drop);
  }
  CloseHandle(handle);
  if (ours && gOptions.DeleteMode == 1) MoveFileExW(LongPath(path), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
}

// One path buffer for every level of the walk.
WCHAR gWalkPath[PathCapacity];

// gWalkPath ends with a backslash. Subfolders go first, deepest first. Never follows a
// junction or symbolic link: what lies behind one was not made by this run.
void Visit(const FileId* recorded) {
  int length = lstrlenW(gWalkPath);
  if (length + 4 < PathCapacity) {
    CopyText(gWalkPath + length, L"*", 2);
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW(LongPath(gWalkPath), &found);
    gWalkPath[length] = 0;
    if (search != INVALID_HANDLE_VALUE) {
      do {
        DWORD attributes = found.dwFileAttributes;
        const WCHAR* name = found.cFileName;
        if (attributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | AttributeVolumeLabel |
                          FILE_ATTRIBUTE_REPARSE_POINT))
          continue;
        if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) continue;
        if (name[0] == '.' && (!name[1] || (name[1] == '.' && !name[2]))) continue;
        int nameLength = lstrlenW(name);
        if (length + nameLength + 6 >= PathCapacity) continue;
        CopyText(gWalkPath + length, name, MAX_PATH);
        EnsureBackslash(gWalkPath);
        Visit(nullptr);
        gWalkPath[length] = 0;
      } while (FindNextFileW(search, &found));
      FindClose(search);
    }
  }
  gWalkPath[length - 1] = 0;
  RemoveOrSchedule(gWalkPath, recorded, true);
  gWalkPath[length - 1] = '\\';
}

// The identity of the folder at `path`: none for a missing path, a file, or a link (a
// reparse point by its path, which is how Wine shows a host link to a folder, or by its
// handle), except at the extraction folder itself, which is taken as the user chose it.
bool GetFolderId(const WCHAR* path, FileId& id) {
  int length = lstrlenW(path);
  bool chosen = length == lstrlenW(gExtractionFolder) - 1 && memcmp(path, gExtractionFolder, length * sizeof(WCHAR)) == 0;
  DWORD attributes = GetFileAttributesW(LongPath(path));
  if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY) ||
      (!chosen && (attributes & FILE_ATTRIBUTE_REPARSE_POINT)))
    return false;
  HANDLE folder = OpenPath(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                           FILE_FLAG_BACKUP_SEMANTICS | (chosen ? 0 : FILE_FLAG_OPEN_REPARSE_POINT));
  if (folder == INVALID_HANDLE_VALUE) return false;
  BY_HANDLE_FILE_INFORMATION info{};
  bool known = GetFileInformationByHandle(folder, &info) && (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
               !(info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT);
  CloseHandle(folder);
  id = IdOf(info);
  return known;
}

// The launched program may have replaced a folder of this run by a link, or by another
// folder: nothing is deleted in a folder that is not still the one the run wrote into.
bool IsStillFolder(const WCHAR* path, const FileId& recorded) {
  FileId now;
  return GetFolderId(path, now) && SameId(now, recorded);
}

void CleanUp() {
  if (gOptions.ExtractionMode != 1 || gOptions.DeleteMode == 2) return;
  // Files come folder by folder: each folder is asked once for all of its files (a full
  // path always has a backslash, so the first file never matches the empty start).
  static WCHAR folder[PathCapacity];
  bool folderKept = false;
  for (int i = 0; i < gExtractedFiles.count; ++i) {
    const PathEntry& file = gExtractedFiles.entries[i];
    int cut = 0;
    for (const WCHAR* p = file.path; *p; ++p)
      if (*p == '\\') cut = static_cast<int>(p - file.path);
    if (cut != lstrlenW(folder) || memcmp(file.path, folder, cut * sizeof(WCHAR)) != 0) {
      CopyText(folder, file.path, cut + 1);
      folderKept = IsStillFolder(folder, file.folder);
    }
    if (folderKept) RemoveOrSchedule(file.path, &file.id, false);
  }
  for (int i = gCreatedFolders.count - 1; i >= 0; --i) {
    const PathEntry& created = gCreatedFolders.entries[i];
    if (!IsStillFolder(created.path, created.id)) continue;
    CopyText(gWalkPath, created.path, PathCapacity - 1);
    EnsureBackslash(gWalkPath);
    Visit(&created.id);
  }
}

void StartSelfDelete() {
  static WCHAR parameters[PathCapacity + 3];
  int length = lstrlenW(gOwnPath);
  parameters[0] = parameters[length + 1] = '"';
  memcpy(parameters + 1, gOwnPath, length * sizeof(WCHAR));
  parameters[length + 2] = 0;
  ShellExecuteW(nullptr, L"open", gHelperPath, parameters, nullptr, SW_HIDE);
  MoveFileExW(LongPath(gHelperPath), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
}

}  // namespace

void FinishSfx(const WCHAR* subject, DWORD code) {
  if (code != 0 && !gOptions.SilentMode) {
    ShowError(subject, code);
    DestroyExtractorWindow();
  }
  AbandonExtraction();
  ReleaseHeld();
  CleanUp();
  if (code == 0 && gHelperPath[0]) StartSelfDelete();
  if (gMutex) CloseHandle(gMutex);
  ExitProcess(code ? code : gExitCode);
}
