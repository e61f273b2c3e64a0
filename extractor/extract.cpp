// The extraction engine: where the files go, whether they fit, and restoring every entry
// in file order with its time and attributes, under the chosen overwrite policy.
#include <windows.h>
#include <shlobj.h>

#include "sfxhead.h"
#include "u_bytesize.h"
#include "u_translations.h"
#include "window.h"

namespace {

char gTarget[PathCapacity];  // the current entry's target path
bool gFresh;                 // the current entry's file or folder did not exist before
// The extraction folder was created by this run, so nothing in it predates the run and
// entries need no existence test: under Wine each saved system call is felt per file.
bool gFreshTree;

void GetTempFolder(bool withSubfolder, char (&path)[PathCapacity]) {
  path[0] = 0;
  DWORD need = GetTempPathA(0, nullptr);
  if (need == 0 || need >= PathCapacity - 32 || GetTempPathA(need, path) == 0) {
    path[0] = 0;
    return;
  }
  EnsureBackslash(path, PathCapacity);
  if (withSubfolder) {
    char id[sizeof gOptions.InstanceId + 1];
    CopyText(id, gOptions.InstanceId, sizeof id);
    lstrcatA(path, "~sfx");
    lstrcatA(path, id);
    lstrcatA(path, "\\");
  }
}

void GetSpecialFolder(int csidl, char (&path)[PathCapacity]) {
  path[0] = 0;
  LPITEMIDLIST list = nullptr;
  if (SHGetSpecialFolderLocation(nullptr, csidl, &list) != S_OK || !list) return;
  if (SHGetPathFromIDListA(list, path))
    EnsureBackslash(path, PathCapacity);
  else
    path[0] = 0;
  CoTaskMemFree(list);
}

// A cancelled dialog ends the run as a success that extracted nothing.
void BrowseForFolder(char (&path)[PathCapacity]) {
  path[0] = 0;
  // The new dialog style needs COM on this thread.
  CoInitialize(nullptr);
  char displayName[MAX_PATH];
  BROWSEINFOA info{};
  info.hwndOwner = ExtractorWindowHandle();
  info.pszDisplayName = displayName;
  info.lpszTitle = ExtractToText[LanguageIndex];
  info.ulFlags = BIF_RETURNONLYFSDIRS | BIF_EDITBOX | BIF_NEWDIALOGSTYLE;
  LPITEMIDLIST list = SHBrowseForFolderA(&info);
  if (list) {
    if (!SHGetPathFromIDListA(list, path)) path[0] = 0;
    CoTaskMemFree(list);
  }
  if (!path[0]) FinishSfx("", 0);
  EnsureBackslash(path, PathCapacity);
}

void ExpandCustomFolder(char (&path)[PathCapacity]) {
  path[0] = 0;
  char custom[sizeof gOptions.CustomFolder + 1];
  CopyText(custom, gOptions.CustomFolder, sizeof custom);
  // An empty custom folder would become the root of the current drive.
  if (!custom[0]) return;
  DWORD need = ExpandEnvironmentStringsA(custom, nullptr, 0);
  if (need == 0 || need >= PathCapacity - 1 || ExpandEnvironmentStringsA(custom, path, need) == 0) {
    path[0] = 0;
    return;
  }
  EnsureBackslash(path, PathCapacity);
}

void ResolveExtractionFolder() {
  char folder[PathCapacity];
  switch (gOptions.ExtractionFolder) {
    case 1:
      GetSpecialFolder(CSIDL_DESKTOPDIRECTORY, folder);
      break;
    case 2:
      GetSpecialFolder(CSIDL_PERSONAL, folder);
      break;
    case 3: {
      DWORD length = GetCurrentDirectoryA(PathCapacity - 1, folder);
      if (length == 0 || length >= PathCapacity - 1) folder[0] = 0;
      if (folder[0]) EnsureBackslash(folder, PathCapacity);
      break;
    }
    case 4:
      BrowseForFolder(folder);
      break;
    case 5:
      ExpandCustomFolder(folder);
      break;
    default:
      GetTempFolder(true, folder);
      break;
  }
  if (!folder[0]) FailureGuard();
  DWORD length = GetFullPathNameA(folder, PathCapacity, gExtractionFolder, nullptr);
  if (length == 0 || length >= PathCapacity) FailureGuard();
  EnsureBackslash(gExtractionFolder, PathCapacity);
}

// Counts every entry's full size, including files that may be kept later.
void CheckFreeSpace() {
  char root[PathCapacity];
  const char* f = gExtractionFolder;
  if (f[0] && f[1] == ':') {
    root[0] = static_cast<char>(f[0] >= 'a' && f[0] <= 'z' ? f[0] - 'a' + 'A' : f[0]);
    root[1] = ':';
    root[2] = '\\';
    root[3] = 0;
  } else {
    CopyText(root, f, PathCapacity);  // a network folder: asked by its own path
  }
  ULARGE_INTEGER available;
  if (!GetDiskFreeSpaceExA(root, &available, nullptr, nullptr)) return;
  int64_t freeBytes = available.QuadPart > 0x7FFFFFFFFFFFFFFFull ? 0x7FFFFFFFFFFFFFFF
                                                                  : static_cast<int64_t>(available.QuadPart);
  if (gTotalSize <= freeBytes) return;
  char have[ByteSizeTextCapacity], need[ByteSizeTextCapacity];
  FormatByteSize(freeBytes, have);
  FormatByteSize(gTotalSize, need);
  char subject[PathCapacity + 2 * ByteSizeTextCapacity + 16];
  wsprintfA(subject, "%s   [%s < %s]", root, have, need);
  FinishSfx(subject, ERROR_DISK_FULL);
}

// Lists only a folder this run created; its missing parents are created unlisted.
void CreateTrackedFolder(const char* path) {
  char folder[PathCapacity];
  CopyText(folder, path, PathCapacity);
  const char* last = folder;
  for (const char* p = folder; *p; p = CharNextA(p)) last = p;
  if (*last == '\\') folder[last - folder] = 0;
  bool blank = true;
  for (const char* p = folder; *p; ++p)
    if (static_cast<unsigned char>(*p) > ' ') blank = false;
  gFresh = false;
  if (blank) return;
  // Folder entries come before their contents, so the parent normally exists already.
  if (gFreshTree && CreateDirectoryA(folder, nullptr)) {
    AddPath(gCreatedFolders, folder);
    gFresh = true;
    return;
  }
  DWORD attributes = GetFileAttributesA(folder);
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) return;
  if (SHCreateDirectoryExA(nullptr, folder, nullptr) == ERROR_SUCCESS) {
    AddPath(gCreatedFolders, folder);
    gFresh = true;
  }
}

bool AskOverwrite(const char* target) {
  char text[256];
  SystemText(ERROR_FILE_EXISTS, text);
  const char* question = OverwriteText[LanguageIndex];
  char* message = static_cast<char*>(malloc(lstrlenA(text) + lstrlenA(target) + lstrlenA(question) + 8));
  if (!message) FinishSfx(gOwnPath, ERROR_NOT_ENOUGH_MEMORY);
  lstrcpyA(message, text);
  lstrcatA(message, "\r\n");
  lstrcatA(message, target);
  lstrcatA(message, "\r\n\r\n");
  lstrcatA(message, question);
  int answer = MessageBoxA(nullptr, message, nullptr, MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2 | MB_TOPMOST);
  free(message);
  return answer == IDYES;
}

bool BeginEntry(void*, const EntryHeader& header, const char* name) {
  char base[PathCapacity];
  if (header.Kind == EntryKindSelfDelete)
    GetTempFolder(false, base);
  else
    CopyText(base, gExtractionFolder, PathCapacity);
  if (lstrlenA(base) + header.NameLength >= PathCapacity) FinishSfx(gOwnPath, ERROR_FILENAME_EXCED_RANGE);
  lstrcpyA(gTarget, base);
  lstrcatA(gTarget, name);

  if (header.Attributes & AttributeDirectory) {
    CreateTrackedFolder(gTarget);
    return false;
  }
  if (header.Kind == EntryKindLaunchTarget) lstrcpyA(gLaunchTarget, gTarget);
  if (header.Kind == EntryKindSelfDelete) lstrcpyA(gHelperPath, gTarget);

  DWORD attributes = gFreshTree && header.Kind != EntryKindSelfDelete ? INVALID_FILE_ATTRIBUTES
                                                                      : GetFileAttributesA(gTarget);
  bool exists = attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
  // The helper is always written fresh: a stale or foreign file of that name in the
  // temporary folder must never be the one started.
  bool writing = !exists || header.Kind == EntryKindSelfDelete || gOptions.OverwriteMode == 1 ||
                 (gOptions.OverwriteMode != 2 && AskOverwrite(gTarget));
  gFresh = !exists;
  if (!writing) return false;
  if (attributes != INVALID_FILE_ATTRIBUTES) SetFileAttributesA(gTarget, FILE_ATTRIBUTE_NORMAL);
  gTargetFile = CreateFileA(gTarget, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (gTargetFile == INVALID_HANDLE_VALUE) {
    DWORD code = GetLastError();
    FinishSfx(gTarget, code ? code : ERROR_HANDLE_EOF);
  }
  // Only what this run wrote is ever cleaned up; the helper stays for its own start.
  if (header.Kind != EntryKindSelfDelete) AddPath(gExtractedFiles, gTarget);
  return true;
}

void Write(void*, const void* data, uint32_t length) {
  DWORD written = 0;
  if (!WriteFile(gTargetFile, data, length, &written, nullptr)) {
    DWORD code = GetLastError();
    FinishSfx(gTarget, code ? code : ERROR_WRITE_FAULT);
  }
  if (written != length) FinishSfx(gTarget, ERROR_WRITE_FAULT);
}

void Step(void*, uint32_t count) {
  gDoneBytes += count;
  // Without a window there is nothing to paint or keep responsive.
  if (gOptions.SilentMode) return;
  RepaintProgress();
  PumpMessages();
}

void EndEntry(void*, const EntryHeader& header) {
  bool folder = (header.Attributes & AttributeDirectory) != 0;
  if (gTargetFile != INVALID_HANDLE_VALUE) {
    FILETIME local, utc;
    if (DosDateTimeToFileTime(HIWORD(header.Time), LOWORD(header.Time), &local) &&
        LocalFileTimeToFileTime(&local, &utc))
      SetFileTime(gTargetFile, nullptr, nullptr, &utc);
    CloseHandle(gTargetFile);
    gTargetFile = INVALID_HANDLE_VALUE;
  }
  // A new file or folder already carries just the archive or directory bit: one system
  // call per entry saved.
  DWORD plain = folder ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_ARCHIVE;
  if (!gFresh || header.Attributes != plain) SetFileAttributesA(gTarget, header.Attributes);
}

}  // namespace

void ExtractEntries() {
  ResolveExtractionFolder();
  CheckFreeSpace();
  CreateTrackedFolder(gExtractionFolder);
  gFreshTree = gFresh;
  RestoreSink sink{BeginEntry, Write, Step, EndEntry, nullptr};
  uint32_t code = RestoreEntries(gArchive, gArchiveOffset, gOptions, sink);
  if (code != ArchiveOk) FinishSfx(code == ArchiveInflate ? gTarget : gOwnPath, code);
}
