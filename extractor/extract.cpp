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
bool gFresh;                 // the current entry's folder did not exist before
// The extraction folder was created by this run, so nothing in it predates the run and
// entries need no existence test: under Wine each saved system call is felt per file.
bool gFreshTree;
// Clean-up will run, so the folders written into are recorded with their identities.
bool gTracking;
bool gWriting;   // the current file entry goes to disk
bool gReadOnly;  // the current file entry replaces a read-only file
// An existing launch target in skip mode, read alongside the archive's content, and
// whether it matched so far.
HANDLE gExisting = INVALID_HANDLE_VALUE;
bool gSame;
uint32_t gPartNumber;
bool gDirect;  // the current file is written under its own name in a tree this run created

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

// The folder files go into until the next one: checked once for all of them.
char gFolder[PathCapacity];
FolderId gFolderId;

void EnterKnownFolder(const char* folder, const FolderId& id) {
  CopyText(gFolder, folder, PathCapacity);
  gFolderId = id;
}

// Lists only a folder this run created, with its identity when clean-up will want it.
void RecordCreatedFolder(const char* folder) {
  FolderId id{};
  if (gTracking) GetFolderId(folder, id);
  AddPath(gCreatedFolders, folder, id);
  EnterKnownFolder(folder, id);
  gFresh = true;
}

// Outside a tree this run created, every folder below the extraction folder on the way
// to `folder` (itself included) must be a plain one: nothing is created or written
// through a link planted there.
void RefuseLinksOnTheWay(char* folder) {
  int below = lstrlenA(gExtractionFolder);
  if (gFreshTree || lstrlenA(folder) < below) return;
  for (char* p = folder + below;; p = CharNextA(p)) {
    char c = *p;
    if (c != '\\' && c != 0) continue;
    *p = 0;
    DWORD attributes = GetFileAttributesA(folder);
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT))
      FinishSfx(folder, ERROR_CANT_ACCESS_FILE);
    *p = c;
    if (!c) return;
  }
}

// Creates a folder entry's folder (or the extraction folder, `entry` false), with its
// missing parents unlisted. A file in its place ends the run.
void CreateTrackedFolder(const char* path, bool entry) {
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
  if (gFreshTree && CreateDirectoryA(folder, nullptr)) return RecordCreatedFolder(folder);
  if (entry) RefuseLinksOnTheWay(folder);
  DWORD attributes = GetFileAttributesA(folder);
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    DWORD code = static_cast<DWORD>(SHCreateDirectoryExA(nullptr, folder, nullptr));
    if (code != ERROR_SUCCESS) FinishSfx(folder, code);
    return RecordCreatedFolder(folder);
  }
  if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) FinishSfx(folder, ERROR_ALREADY_EXISTS);
  FolderId id{};
  if (gTracking) GetFolderId(folder, id);
  EnterKnownFolder(folder, id);
}

// An SFX file that asks Windows for elevation must not extract into a temporary folder
// that an unprivileged process could have prepared, so it extracts into the first of
// "~sfx<id>", "~sfx<id>1", "~sfx<id>2", ... that it creates as a new folder itself.
bool AsksForElevation() {
  HRSRC found = FindResourceA(nullptr, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24));  // RT_MANIFEST
  const char* text = found ? static_cast<const char*>(LockResource(LoadResource(nullptr, found))) : nullptr;
  if (!text) return false;
  DWORD size = SizeofResource(nullptr, found);
  static const char* const levels[] = {"requireAdministrator", "highestAvailable"};
  for (const char* level : levels) {
    size_t length = strlen(level);
    for (DWORD i = 0; i + length <= size; ++i)
      if (memcmp(text + i, level, length) == 0) return true;
  }
  return false;
}

void CreateOwnFolder() {
  char base[PathCapacity];
  CopyText(base, gExtractionFolder, PathCapacity);
  base[lstrlenA(base) - 1] = 0;
  for (DWORD n = 0;; ++n) {
    wsprintfA(gExtractionFolder, n ? "%s%lu" : "%s", base, n);
    if (CreateDirectoryA(gExtractionFolder, nullptr)) break;
    DWORD code = GetLastError();
    if (code != ERROR_ALREADY_EXISTS || n == 0xFFFF) FinishSfx(gExtractionFolder, code ? code : ERROR_HANDLE_EOF);
  }
  RecordCreatedFolder(gExtractionFolder);
  lstrcatA(gExtractionFolder, "\\");
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

// The folder of the current file, checked once for all the files that follow in it.
void EnterFolderOf(const char* target) {
  char folder[PathCapacity];
  CopyText(folder, target, PathCapacity);
  char* cut = folder;
  for (char* p = folder; *p; p = CharNextA(p))
    if (*p == '\\') cut = p;
  *cut = 0;
  int length = lstrlenA(folder);
  if (length == lstrlenA(gFolder) && memcmp(folder, gFolder, length) == 0) return;
  RefuseLinksOnTheWay(folder);
  FolderId id{};
  if (gTracking) GetFolderId(folder, id);
  EnterKnownFolder(folder, id);
}

// The content goes into a new file beside its target and takes the target's name only
// once its checksum verified: a damaged entry never replaces a user's file, and a failed
// one leaves nothing behind (FinishSfx removes the part). In a tree this run created there
// is nothing of the user's to replace: there the file is written under its own name,
// sparing a rename per file (some 7 % of an extraction under Wine), and FinishSfx removes
// it all the same when it fails.
void CreatePart(bool direct) {
  lstrcpyA(gPartPath, gTarget);
  gDirect = direct;
  if (direct) {
    gTargetFile = CreateFileA(gTarget, GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (gTargetFile != INVALID_HANDLE_VALUE) return;
    gDirect = false;  // an earlier entry took the name: replaced only by a whole file
  }
  char* name = gPartPath;
  for (char* p = gPartPath; *p; p = CharNextA(p))
    if (*p == '\\') name = p + 1;
  for (int attempt = 0;; ++attempt) {
    wsprintfA(name, "~sfx%04X.tmp", (gPartNumber++) & 0xFFFF);
    gTargetFile = CreateFileA(gPartPath, GENERIC_WRITE | DELETE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (gTargetFile != INVALID_HANDLE_VALUE) return;
    DWORD code = GetLastError();
    if ((code != ERROR_FILE_EXISTS && code != ERROR_ALREADY_EXISTS) || attempt == 0xFFFF) {
      gPartPath[0] = 0;
      FinishSfx(gTarget, code ? code : ERROR_HANDLE_EOF);
    }
  }
}

// Renames the open part over its target through its own handle: one system call where
// MoveFileEx opens the file again and looks at both names first, which under Wine costs
// more than writing a small file. False when that call is missing or fails.
bool RenamePartOpen() {
  typedef LONG(NTAPI * SetInformationFunction)(HANDLE, void*, void*, ULONG, int);
  static SetInformationFunction setInformation = reinterpret_cast<SetInformationFunction>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtSetInformationFile")));
  struct {
    BOOLEAN replace;
    HANDLE root;
    ULONG length;
    WCHAR name[PathCapacity + 4];
  } rename;  // FILE_RENAME_INFORMATION
  rename.replace = TRUE;
  rename.root = nullptr;
  rename.name[0] = '\\';
  rename.name[1] = '?';
  rename.name[2] = '?';
  rename.name[3] = '\\';
  int length = MultiByteToWideChar(CP_ACP, 0, gTarget, -1, rename.name + 4, PathCapacity);
  if (!setInformation || length <= 1) return false;
  rename.length = static_cast<ULONG>((length - 1 + 4) * sizeof(WCHAR));
  ULONG_PTR status[2];  // IO_STATUS_BLOCK
  const int FileRenameInformation = 10;
  return setInformation(gTargetFile, status, &rename, sizeof rename, FileRenameInformation) >= 0;
}

bool BeginEntry(void*, const EntryHeader& header, const char* name) {
  gWriting = false;
  bool helper = header.Kind == EntryKindSelfDelete;
  // Only a self-destructing SFX file ever starts the helper, so only such a file writes it.
  if (helper && !gOptions.SelfDeleteMode) return false;
  char base[PathCapacity];
  if (helper)
    GetTempFolder(false, base);
  else
    CopyText(base, gExtractionFolder, PathCapacity);
  if (lstrlenA(base) + header.NameLength >= PathCapacity) FinishSfx(gOwnPath, ERROR_FILENAME_EXCED_RANGE);
  lstrcpyA(gTarget, base);
  lstrcatA(gTarget, name);

  if (header.Attributes & AttributeDirectory) {
    CreateTrackedFolder(gTarget, true);
    return false;
  }
  if (header.Kind == EntryKindLaunchTarget) lstrcpyA(gLaunchTarget, gTarget);
  if (helper)
    lstrcpyA(gHelperPath, gTarget);
  else
    EnterFolderOf(gTarget);

  DWORD attributes = gFreshTree && !helper ? INVALID_FILE_ATTRIBUTES : GetFileAttributesA(gTarget);
  bool exists = attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
  gReadOnly = exists && (attributes & FILE_ATTRIBUTE_READONLY);
  // The helper is always written fresh: a stale or foreign file of that name in the
  // temporary folder must never be the one started. In skip mode a launch target is
  // written too, and kept only if it equals the archive's (see EndEntry): a program
  // planted in its place must never be the one started.
  gWriting = !exists || helper || gOptions.OverwriteMode == 1 ||
             (gOptions.OverwriteMode == 2 ? header.Kind == EntryKindLaunchTarget : AskOverwrite(gTarget));
  if (!gWriting) return false;
  if (exists && gOptions.OverwriteMode == 2) {
    gExisting = CreateFileA(gTarget, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    gSame = gExisting != INVALID_HANDLE_VALUE;
  }
  CreatePart(gFreshTree && !helper);
  return true;
}

// Reads the existing launch target alongside the archive's content.
bool SameAsExisting(const void* data, uint32_t length) {
  static uint8_t existing[32768];
  for (uint32_t done = 0; done < length;) {
    DWORD want = length - done < sizeof existing ? length - done : sizeof existing;
    DWORD got = 0;
    if (!ReadFile(gExisting, existing, want, &got, nullptr) || got != want ||
        memcmp(existing, static_cast<const uint8_t*>(data) + done, want) != 0)
      return false;
    done += want;
  }
  return true;
}

void Write(void*, const void* data, uint32_t length) {
  DWORD written = 0;
  if (!WriteFile(gTargetFile, data, length, &written, nullptr)) {
    DWORD code = GetLastError();
    FinishSfx(gTarget, code ? code : ERROR_WRITE_FAULT);
  }
  if (written != length) FinishSfx(gTarget, ERROR_WRITE_FAULT);
  if (gSame) gSame = SameAsExisting(data, length);
}

void Step(void*, uint32_t count) {
  gDoneBytes += count;
  // Without a window there is nothing to paint or keep responsive.
  if (gOptions.SilentMode) return;
  RepaintProgress();
  PumpMessages();
}

void EndEntry(void*, const EntryHeader& header) {
  if (header.Attributes & AttributeDirectory) {
    // A new folder already carries just the directory bit: one system call per entry saved.
    if (!gFresh || header.Attributes != FILE_ATTRIBUTE_DIRECTORY) SetFileAttributesA(gTarget, header.Attributes);
    return;
  }
  // A file the run did not write keeps its content, time and attributes.
  if (!gWriting) return;
  FILETIME local, utc;
  if (DosDateTimeToFileTime(HIWORD(header.Time), LOWORD(header.Time), &local) && LocalFileTimeToFileTime(&local, &utc))
    SetFileTime(gTargetFile, nullptr, nullptr, &utc);
  bool same = false;
  if (gExisting != INVALID_HANDLE_VALUE) {
    // Equal only if the existing file ends where the archive's content does.
    char extra;
    DWORD got = 1;
    same = gSame && ReadFile(gExisting, &extra, 1, &got, nullptr) && got == 0;
    CloseHandle(gExisting);
    gExisting = INVALID_HANDLE_VALUE;
    gSame = false;
  }
  // A read-only file cannot be replaced; it keeps the bit if it is not.
  if (gReadOnly && !same) SetFileAttributesA(gTarget, FILE_ATTRIBUTE_NORMAL);
  bool renamed = gDirect || (!same && RenamePartOpen());
  CloseHandle(gTargetFile);
  gTargetFile = INVALID_HANDLE_VALUE;
  if (same) {
    DeleteFileA(gPartPath);
    gPartPath[0] = 0;
    return;
  }
  // The system's own rename gives the error code when the quick one failed.
  if (!renamed && !MoveFileExA(gPartPath, gTarget, MOVEFILE_REPLACE_EXISTING)) {
    DWORD code = GetLastError();
    if (gReadOnly) SetFileAttributesA(gTarget, FILE_ATTRIBUTE_READONLY);
    FinishSfx(gTarget, code ? code : ERROR_HANDLE_EOF);
  }
  gPartPath[0] = 0;
  // Only what this run wrote is ever cleaned up; the helper stays for its own start.
  if (header.Kind != EntryKindSelfDelete) AddPath(gExtractedFiles, gTarget, gFolderId);
  // A new file already carries just the archive bit.
  if (header.Attributes != FILE_ATTRIBUTE_ARCHIVE) SetFileAttributesA(gTarget, header.Attributes);
}

}  // namespace

void ExtractEntries() {
  ResolveExtractionFolder();
  CheckFreeSpace();
  gTracking = gOptions.ExtractionMode == 1 && gOptions.DeleteMode != 2;
  bool temporary = gOptions.ExtractionFolder == 0 || gOptions.ExtractionFolder > 5;
  if (temporary && AsksForElevation())
    CreateOwnFolder();
  else
    CreateTrackedFolder(gExtractionFolder, false);
  gFreshTree = gFresh;
  RestoreSink sink{BeginEntry, Write, Step, EndEntry, nullptr, nullptr};
  uint32_t code = RestoreEntries(gArchive, gArchiveOffset, gOptions, sink);
  if (code != ArchiveOk) FinishSfx(code == ArchiveInflate ? gTarget : gOwnPath, code);
}
